#include "station/scanner.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "platform/fileutil.h"
#include "station/ids.h"
#include "station/indexcache.h"

namespace tonvera::station {

namespace fs = std::filesystem;

namespace {

std::string lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// File names of one folder, keyed by their lower-case form; read once per folder.
class FolderListing {
 public:
  const std::map<std::string, std::string>& of(const fs::path& folder) {
    auto [it, added] = cache_.emplace(folder.string(), std::map<std::string, std::string>{});
    if (added) {
      std::error_code ec;
      for (fs::directory_iterator d(folder, ec), end; !ec && d != end; d.increment(ec)) {
        std::error_code typeError;
        if (d->is_regular_file(typeError)) {
          auto name = d->path().filename().string();
          it->second.emplace(lower(name), name);
        }
      }
    }
    return it->second;
  }

  // The first of `names` (lower case) present in `folder`, as a path relative to `root`.
  std::string firstOf(const fs::path& root, const fs::path& folder, std::initializer_list<const char*> names) {
    const auto& listing = of(folder);
    for (const char* name : names) {
      if (auto it = listing.find(name); it != listing.end())
        return (folder / it->second).lexically_relative(root).generic_string();
    }
    return {};
  }

 private:
  std::map<std::string, std::map<std::string, std::string>> cache_;
};

bool hidden(const fs::path& p) {
  const auto name = p.filename().string();
  return !name.empty() && name[0] == '.';
}

}  // namespace

std::string indexPathFor(const std::string& dataDir, const std::string& root) {
  std::error_code ec;
  fs::path canonical = fs::weakly_canonical(root, ec);
  if (ec) canonical = root;
  return dataDir + "/index/" + makeId("", canonical.string()) + ".json";
}

struct LibraryScanner::State {
  IndexCache index;
};

LibraryScanner::LibraryScanner(std::string root, std::string indexPath)
    : root_(std::move(root)), indexPath_(std::move(indexPath)) {}
LibraryScanner::~LibraryScanner() = default;

std::shared_ptr<const Library> scanLibrary(const std::string& root, const std::string& indexPath,
                                           ScanStats* stats, std::string* error) {
  return LibraryScanner(root, indexPath).scan(stats, error);
}

std::shared_ptr<const Library> LibraryScanner::scan(ScanStats* statsOut, std::string* error) {
  const std::string& rootText = root_;
  const std::string& indexPath = indexPath_;
  std::error_code ec;
  const fs::path root = fs::canonical(rootText, ec);
  if (ec || !fs::is_directory(root, ec)) {
    if (error) *error = "not a readable folder: " + rootText;
    return nullptr;
  }
  ScanStats stats;
  if (!state_)
    state_ = std::make_unique<State>(State{indexPath.empty() ? IndexCache{} : IndexCache::load(indexPath)});
  const IndexCache& previous = state_->index;
  IndexCache next;
  FolderListing listing;
  std::vector<ScannedFile> files;

  fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec);
  for (fs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
    const fs::path& path = it->path();
    if (hidden(path)) {
      if (it->is_directory(ec)) it.disable_recursion_pending();
      ec.clear();
      continue;
    }
    std::error_code fileError;
    if (!it->is_regular_file(fileError)) continue;
    const auto format = formatForFileName(path.filename().string());
    if (!format) continue;
    ++stats.audioFiles;
    const auto size = static_cast<std::uint64_t>(it->file_size(fileError));
    const auto mtime = it->last_write_time(fileError);
    if (fileError) continue;
    const auto mtimeNs = static_cast<std::int64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(mtime.time_since_epoch()).count());
    const std::string rel = path.lexically_relative(root).generic_string();

    IndexEntry entry;
    const std::size_t readBefore = stats.read;
    if (const IndexEntry* cached = previous.find(rel, size, mtimeNs)) {
      entry = *cached;
      ++stats.fromIndex;
    } else {
      entry.size = size;
      entry.mtimeNs = mtimeNs;
      auto tags = readTrackTags(path.string(), *format, size);
      entry.readable = tags.has_value();
      if (tags) entry.tags = std::move(*tags);
      ++stats.read;
    }
    next.put(rel, entry);
    if (!entry.readable) {
      ++stats.unreadable;
      stats.unreadableFiles.push_back({rel, stats.read > readBefore});
      continue;
    }

    ScannedFile file;
    file.relPath = rel;
    file.format = *format;
    file.tags = std::move(entry.tags);
    const fs::path folder = path.parent_path();
    const std::string stem = lower(path.stem().string());
    if (auto lrc = listing.of(folder).find(stem + ".lrc"); lrc != listing.of(folder).end())
      file.lyricsRelPath = (folder / lrc->second).lexically_relative(root).generic_string();
    file.folderCover =
        listing.firstOf(root, folder, {"cover.jpg", "folder.jpg", "cover.jpeg", "folder.jpeg", "cover.png", "folder.png"});
    file.artistPicture = listing.firstOf(root, folder, {"artist.jpg", "artist.jpeg", "artist.png"});
    if (file.artistPicture.empty() && folder != root)
      file.artistPicture = listing.firstOf(root, folder.parent_path(), {"artist.jpg", "artist.jpeg", "artist.png"});
    files.push_back(std::move(file));
  }

  // Every entry of `next` came from `previous` unless a file was read: equal sizes then mean the
  // same files.
  const bool changed = stats.read > 0 || next.size() != previous.size();
  if (!indexPath.empty() && changed) {
    makeDirectories(fs::path(indexPath).parent_path().string());
    next.save(indexPath);  // a failed save only means the next start reads the files again
  }
  state_->index = std::move(next);
  if (statsOut) *statsOut = std::move(stats);
  return Library::build(root.string(), std::move(files));
}

}  // namespace tonvera::station
