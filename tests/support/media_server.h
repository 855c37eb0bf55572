#pragma once
// A loopback HTTP server for one media file with "Content-Length" and "Range", and faults: writes
// of chosen or random sizes with pauses, a connection stalled or cut after some bytes and then every
// request refused for a while.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "test_server.h"

namespace tonvera::test {

struct MediaOptions {
  std::string contentType = "audio/mpeg";
  bool contentLength = true;    // false: chunked reply without "Content-Length"
  std::int64_t dropAfter = -1;  // first reply: the connection is closed after this many file bytes
  // After that drop, every request for this long is refused with 503 (and a short text body).
  std::chrono::milliseconds refuseFor{0};
  std::int64_t stallAfter = -1;  // first reply: nothing more after this many file bytes
  std::size_t chunk = 4096;      // bytes per write (the largest, when minChunk is set)
  std::size_t minChunk = 0;      // > 0: every write carries minChunk..chunk bytes, drawn with `seed`
  unsigned seed = 1;
  std::size_t firstChunk = 0;               // > 0: the first write of a reply carries this many bytes
  std::chrono::microseconds pause{0};       // after every write
  std::chrono::microseconds firstPause{0};  // after the first write of a reply
};

// Serves the bytes at url(); every request's "Range" field is recorded ("" when absent).
class MediaServer {
 public:
  explicit MediaServer(std::vector<std::uint8_t> bytes, MediaOptions options = {});
  ~MediaServer();

  std::string url() const { return server_.url("/track"); }
  std::vector<std::string> ranges();
  std::int64_t bytesSent();
  int refused();  // requests refused after the cut
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  bool provide(bool firstReply, bool firstWrite, std::size_t offset, std::size_t length,
               httplib::DataSink& sink);

  const std::vector<std::uint8_t> bytes_;
  const MediaOptions options_;
  TestServer server_;
  std::mutex mutex_;
  std::condition_variable released_;
  bool stallReleased_ = false;
  std::vector<std::string> ranges_;
  std::int64_t sent_ = 0;
  std::optional<std::chrono::steady_clock::time_point> cutAt_;
  bool answeredAgain_ = false;  // the refusals after the cut are over
  int refused_ = 0;
  std::mt19937 rng_;
};

}  // namespace tonvera::test
