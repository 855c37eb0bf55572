#include "station/purecache.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <vector>

#include "audio/pureenc/pure_file_encoder.h"
#include "station/filestream.h"

namespace tonvera::station {
namespace fs = std::filesystem;

namespace {

constexpr const char* kPureSuffix = ".pur";
constexpr const char* kTempMarker = ".part-";

// FNV-1a over the source file's size and modification time.
std::uint64_t sourceStamp(const struct stat& st) {
  std::uint64_t h = 1469598103934665603ull;
  auto mix = [&](std::uint64_t v) {
    for (int i = 0; i < 8; ++i) {
      h ^= (v >> (8 * i)) & 0xFF;
      h *= 1099511628211ull;
    }
  };
  mix(static_cast<std::uint64_t>(st.st_size));
  mix(static_cast<std::uint64_t>(st.st_mtim.tv_sec));
  mix(static_cast<std::uint64_t>(st.st_mtim.tv_nsec));
  return h;
}

bool isFinished(const fs::path& p) {
  const std::string name = p.filename().string();
  return name.size() > 4 && name.ends_with(kPureSuffix) && name.find(kTempMarker) == std::string::npos;
}

}  // namespace

std::string pureStreamPath(const Track& track) { return "/streams/" + track.id + ".pur"; }

PureCache::PureCache(std::string folder, int rate, std::uint64_t maxBytes)
    : folder_(std::move(folder)), rate_(rate), maxBytes_(maxBytes) {
  std::error_code ec;
  fs::create_directories(folder_, ec);
  // Temporary files of a coding that never finished.
  const auto now = fs::file_time_type::clock::now();
  for (const auto& entry : fs::directory_iterator(folder_, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.find(kTempMarker) == std::string::npos) continue;
    std::error_code timeError;
    const auto written = entry.last_write_time(timeError);
    if (!timeError && now - written > std::chrono::seconds(kPureStaleTempSeconds))
      fs::remove(entry.path(), timeError);
  }
}

std::optional<std::string> PureCache::fileFor(const Track& track, std::string* error) {
  struct stat st {};
  if (::stat(track.path.c_str(), &st) != 0) {
    if (error) *error = "source file missing";
    return std::nullopt;
  }
  char stamp[17];
  std::snprintf(stamp, sizeof stamp, "%016" PRIx64, sourceStamp(st));
  const std::string name = track.id + "-r" + std::to_string(rate_) + "-" + stamp + kPureSuffix;
  const std::string path = folder_ + "/" + name;

  {
    std::unique_lock lock(mutex_);
    codingDone_.wait(lock, [&] { return coding_.count(name) == 0; });
    if (::access(path.c_str(), R_OK) == 0) {
      ::utimensat(AT_FDCWD, path.c_str(), nullptr, 0);  // most recently used
      return path;
    }
    coding_.insert(name);
  }

  const std::string temp =
      path + kTempMarker + std::to_string(::getpid()) + "-" + std::to_string(tempCounter_++);
  PureFileEncodeOptions options;
  options.rate = rate_;
  const PureFileEncodeResult result = encodeFileToPure(track.path, temp, options);
  bool ok = result.ok;
  if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    ok = false;
  }
  {
    std::lock_guard lock(mutex_);
    coding_.erase(name);
  }
  codingDone_.notify_all();
  if (!ok) {
    if (error) *error = result.ok ? "cannot store the coded file" : result.error;
    return std::nullopt;
  }
  evict(name);
  return path;
}

std::uint64_t PureCache::bytesOnDisk() const {
  std::uint64_t total = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder_, ec)) {
    std::error_code sizeError;
    if (isFinished(entry.path())) total += entry.file_size(sizeError);
  }
  return total;
}

void PureCache::evict(const std::string& keep) {
  struct File {
    fs::path path;
    fs::file_time_type used;
    std::uint64_t size;
  };
  std::vector<File> files;
  std::uint64_t total = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder_, ec)) {
    if (!isFinished(entry.path())) continue;
    std::error_code e1, e2;
    File f{entry.path(), entry.last_write_time(e1), entry.file_size(e2)};
    if (e1 || e2) continue;
    total += f.size;
    if (f.path.filename() != keep) files.push_back(std::move(f));
  }
  std::sort(files.begin(), files.end(), [](const File& a, const File& b) { return a.used < b.used; });
  for (const File& f : files) {
    if (total <= maxBytes_) break;
    std::error_code removeError;
    if (fs::remove(f.path, removeError)) total -= f.size;
  }
}

void servePureStream(const httplib::Request& req, httplib::Response& res, PureCache& cache,
                     const Track& track, std::atomic<int>& openStreams) {
  // A file can be evicted by another request between its lookup and its opening (only when the
  // cache is at its bound); the second attempt codes it again.
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::string error;
    const auto path = cache.fileFor(track, &error);
    if (!path) break;
    if (serveFile(req, res, *path, 0, 0, "audio/x-pur", openStreams)) return;
  }
  res.status = 500;
  res.set_content("{\"error\":\"cannot code the stream as PURE\"}", "application/json");
}

}  // namespace tonvera::station
