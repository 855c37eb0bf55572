#pragma once
// A loopback HTTP server for one PURE stream: "Content-Length" and "Range" as usual, the reply
// written in chunks of random sizes with a pause after each, so that the reader's reads end inside
// frames and inside the header. Records every request's "Range" field ("" when absent).

#include <chrono>
#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "test_server.h"

namespace tonvera::test {

struct PureServeOptions {
  std::string contentType = "audio/x-pur";
  bool contentLength = true;    // false: a chunked reply without "Content-Length" (and no ranges)
  std::size_t minChunk = 4096;  // bytes per write, drawn from minChunk..maxChunk
  std::size_t maxChunk = 4096;
  unsigned seed = 1;
  std::size_t firstChunk = 0;               // > 0: the first write of a reply carries this many bytes
  std::chrono::microseconds pause{0};       // after every write
  std::chrono::microseconds firstPause{0};  // after the first write of a reply
  std::int64_t dropAfter = -1;  // >= 0: the first reply's connection is closed after this many bytes
};

class PureServer {
 public:
  explicit PureServer(std::vector<std::uint8_t> bytes, PureServeOptions options = {});
  ~PureServer();

  std::string url() const { return server_.url("/track.pur"); }
  std::vector<std::string> ranges();

 private:
  const std::vector<std::uint8_t> bytes_;
  const PureServeOptions options_;
  TestServer server_;
  std::mutex mutex_;
  std::mt19937 rng_;
  std::vector<std::string> ranges_;
};

}  // namespace tonvera::test
