#include "media_server.h"

#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>

namespace tonvera::test {

std::string fixturePath(const std::string& name) { return std::string(STREAMER_FIXTURES) + "/" + name; }

std::vector<std::uint8_t> readFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

MediaServer::MediaServer(std::vector<std::uint8_t> bytes, MediaOptions options)
    : bytes_(std::move(bytes)), options_(std::move(options)) {
  server_.http().Get("/track", [this](const httplib::Request& req, httplib::Response& res) {
    bool first;
    {
      std::lock_guard lock(mutex_);
      ranges_.push_back(req.get_header_value("Range"));
      first = ranges_.size() == 1;
    }
    if (!options_.contentLength) {
      res.set_chunked_content_provider(options_.contentType, [this, first](std::size_t offset, httplib::DataSink& sink) {
        if (offset >= bytes_.size()) {
          sink.done();
          return true;
        }
        return provide(first, offset, bytes_.size() - offset, sink);
      });
      return;
    }
    res.set_content_provider(bytes_.size(), options_.contentType,
                             [this, first](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                               return provide(first, offset, length, sink);
                             });
  });
  server_.start();
}

MediaServer::~MediaServer() {
  releaseStall();
  server_.stop();
}

bool MediaServer::provide(bool first, std::size_t offset, std::size_t length, httplib::DataSink& sink) {
  std::size_t n = std::min(length, options_.chunk);
  if (first && options_.dropAfter >= 0) {
    if (std::int64_t(offset) >= options_.dropAfter) return false;  // closes the connection
    n = std::min<std::size_t>(n, std::size_t(options_.dropAfter) - offset);
  }
  if (first && options_.stallAfter >= 0) {
    if (std::int64_t(offset) >= options_.stallAfter) {
      std::unique_lock lock(mutex_);
      released_.wait_for(lock, std::chrono::seconds(60), [this] { return stallReleased_; });
      return false;
    }
    n = std::min<std::size_t>(n, std::size_t(options_.stallAfter) - offset);
  }
  if (!sink.write(reinterpret_cast<const char*>(bytes_.data() + offset), n)) return false;
  std::lock_guard lock(mutex_);
  sent_ += std::int64_t(n);
  return true;
}

std::vector<std::string> MediaServer::ranges() {
  std::lock_guard lock(mutex_);
  return ranges_;
}

std::int64_t MediaServer::bytesSent() {
  std::lock_guard lock(mutex_);
  return sent_;
}

void MediaServer::releaseStall() {
  {
    std::lock_guard lock(mutex_);
    stallReleased_ = true;
  }
  released_.notify_all();
}

namespace {
std::uint32_t le32(const std::uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24); }
std::uint16_t le16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
}  // namespace

std::optional<Pcm> readWav(const std::string& path) {
  const auto b = readFileBytes(path);
  if (b.size() < 44 || std::memcmp(b.data(), "RIFF", 4) || std::memcmp(b.data() + 8, "WAVEfmt ", 8) ||
      std::memcmp(b.data() + 36, "data", 4)) {
    return std::nullopt;
  }
  const std::uint32_t dataBytes = le32(b.data() + 40);
  if (le32(b.data() + 4) != 36 + dataBytes || b.size() != 44 + std::size_t(dataBytes) || le16(b.data() + 20) != 1 ||
      le16(b.data() + 34) != 16) {
    return std::nullopt;
  }
  Pcm pcm;
  pcm.channels = le16(b.data() + 22);
  pcm.rate = int(le32(b.data() + 24));
  pcm.samples.resize(dataBytes / 2);
  std::memcpy(pcm.samples.data(), b.data() + 44, pcm.samples.size() * 2);
  return pcm;
}

std::vector<std::int16_t> readRaw(const std::string& path) {
  const auto b = readFileBytes(path);
  std::vector<std::int16_t> s(b.size() / 2);
  std::memcpy(s.data(), b.data(), s.size() * 2);
  return s;
}

long findAlignment(const Pcm& output, const std::vector<std::int16_t>& reference, long maxShift) {
  const std::size_t ch = std::size_t(output.channels);
  const std::size_t refFrames = reference.size() / ch;
  const std::size_t start = refFrames / 2;
  const std::size_t window = 2000;
  if (start + window > refFrames) return -1;
  for (long shift = -maxShift; shift <= maxShift; ++shift) {
    const long at = long(start) + shift;
    if (at < 0 || std::size_t(at) + window > output.frames()) continue;
    if (std::equal(reference.begin() + long(start * ch), reference.begin() + long((start + window) * ch),
                   output.samples.begin() + at * long(ch))) {
      return shift;
    }
  }
  return -1;
}

std::size_t countMismatches(const Pcm& output, const std::vector<std::int16_t>& reference, long alignment,
                            std::size_t fromFrame) {
  const std::size_t ch = std::size_t(output.channels);
  std::size_t bad = 0;
  for (std::size_t f = fromFrame; f < reference.size() / ch; ++f) {
    const long o = long(f) + alignment;
    if (o < 0 || std::size_t(o) >= output.frames()) {
      ++bad;
      continue;
    }
    for (std::size_t c = 0; c < ch; ++c) {
      if (reference[f * ch + c] != output.samples[std::size_t(o) * ch + c]) {
        ++bad;
        break;
      }
    }
  }
  return bad;
}

std::int64_t id3Size(const std::vector<std::uint8_t>& b) {
  if (b.size() < 10 || std::memcmp(b.data(), "ID3", 3)) return 0;
  return 10 + ((std::int64_t(b[6]) << 21) | (b[7] << 14) | (b[8] << 7) | b[9]) + ((b[5] & 0x10) ? 10 : 0);
}

}  // namespace tonvera::test
