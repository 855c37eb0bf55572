#include "station/indexcache.h"

#include <nlohmann/json.hpp>

#include "platform/fileutil.h"

namespace tonvera::station {

namespace {
constexpr int kIndexVersion = 1;
}

IndexCache IndexCache::load(const std::string& path) {
  IndexCache cache;
  auto bytes = readFile(path);
  if (!bytes) return cache;
  try {
    const auto doc = nlohmann::json::parse(*bytes);
    if (doc.value("version", 0) != kIndexVersion) return cache;
    for (const auto& [rel, e] : doc.at("files").items()) {
      IndexEntry entry;
      entry.size = e.at("size").get<std::uint64_t>();
      entry.mtimeNs = e.at("mtime").get<std::int64_t>();
      entry.readable = e.value("readable", true);
      auto& t = entry.tags;
      t.title = e.value("title", "");
      t.artists = e.value("artists", std::vector<std::string>{});
      t.album = e.value("album", "");
      t.albumArtist = e.value("albumArtist", "");
      t.genre = e.value("genre", "");
      t.trackNumber = e.value("track", 0);
      t.durationMs = e.value("duration", std::int64_t{0});
      t.embeddedCover = e.value("cover", false);
      t.audioBegin = e.value("begin", std::uint64_t{0});
      t.audioEnd = e.value("end", std::uint64_t{0});
      cache.entries_.emplace(rel, std::move(entry));
    }
  } catch (const nlohmann::json::exception&) {
    return IndexCache{};  // damaged: start afresh; the next save replaces it
  }
  return cache;
}

bool IndexCache::save(const std::string& path, std::string* error) const {
  nlohmann::json files = nlohmann::json::object();
  for (const auto& [rel, entry] : entries_) {
    const auto& t = entry.tags;
    files[rel] = {{"size", entry.size},       {"mtime", entry.mtimeNs},     {"readable", entry.readable},
                  {"title", t.title},         {"artists", t.artists},       {"album", t.album},
                  {"albumArtist", t.albumArtist}, {"genre", t.genre},       {"track", t.trackNumber},
                  {"duration", t.durationMs}, {"cover", t.embeddedCover},   {"begin", t.audioBegin},
                  {"end", t.audioEnd}};
  }
  const nlohmann::json doc = {{"version", kIndexVersion}, {"files", std::move(files)}};
  const std::string text = doc.dump(1, ' ', false, nlohmann::json::error_handler_t::replace);
  return writeFileAtomically(path, text, error);
}

const IndexEntry* IndexCache::find(const std::string& relPath, std::uint64_t size, std::int64_t mtimeNs) const {
  auto it = entries_.find(relPath);
  if (it == entries_.end() || it->second.size != size || it->second.mtimeNs != mtimeNs) return nullptr;
  return &it->second;
}

}  // namespace tonvera::station
