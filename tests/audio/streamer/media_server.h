#pragma once
// Test support for the stream player: a loopback HTTP server for one media file (with "Range"
// support and fault injection), fixture files, and PCM comparison helpers.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "test_server.h"

namespace tonvera::test {

std::string fixturePath(const std::string& name);
std::vector<std::uint8_t> readFileBytes(const std::string& path);

struct MediaOptions {
  std::string contentType = "audio/mpeg";
  bool contentLength = true;     // false: chunked reply without "Content-Length"
  std::int64_t dropAfter = -1;   // first reply: the connection is closed after this many file bytes
  std::int64_t stallAfter = -1;  // first reply: nothing more after this many file bytes
  std::size_t chunk = 4096;      // bytes per write
};

// Serves the bytes at url(); every request's "Range" field is recorded ("" when absent).
class MediaServer {
 public:
  explicit MediaServer(std::vector<std::uint8_t> bytes, MediaOptions options = {});
  ~MediaServer();

  std::string url() const { return server_.url("/track"); }
  std::vector<std::string> ranges();
  std::int64_t bytesSent();
  void releaseStall();
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  bool provide(bool first, std::size_t offset, std::size_t length, httplib::DataSink& sink);

  const std::vector<std::uint8_t> bytes_;
  const MediaOptions options_;
  TestServer server_;
  std::mutex mutex_;
  std::condition_variable released_;
  bool stallReleased_ = false;
  std::vector<std::string> ranges_;
  std::int64_t sent_ = 0;
};

// Interleaved 16-bit PCM.
struct Pcm {
  std::vector<std::int16_t> samples;
  int channels = 0;
  int rate = 0;
  std::size_t frames() const { return channels ? samples.size() / static_cast<std::size_t>(channels) : 0; }
};
// A canonical 44-byte-header PCM WAV file, checked for consistency.
std::optional<Pcm> readWav(const std::string& path);
std::vector<std::int16_t> readRaw(const std::string& path);

// Frame offset at which `reference` appears in `output`, found by matching a window near the
// reference's middle; -1 when none within `maxShift` frames.
long findAlignment(const Pcm& output, const std::vector<std::int16_t>& reference, long maxShift);
// Frames of `reference` (from `fromFrame` on) that differ from `output` at the alignment.
std::size_t countMismatches(const Pcm& output, const std::vector<std::int16_t>& reference, long alignment,
                            std::size_t fromFrame = 0);

// Offset of the first MPEG audio frame (after an ID3v2 tag).
std::int64_t id3Size(const std::vector<std::uint8_t>& bytes);

}  // namespace tonvera::test
