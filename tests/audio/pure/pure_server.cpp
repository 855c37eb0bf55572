#include "pure_server.h"

#include <algorithm>
#include <thread>

namespace tonvera::test {

PureServer::PureServer(std::vector<std::uint8_t> bytes, PureServeOptions options)
    : bytes_(std::move(bytes)), options_(std::move(options)), rng_(options_.seed) {
  server_.http().Get("/track.pur", [this](const httplib::Request& req, httplib::Response& res) {
    std::size_t start = 0;
    bool firstReply;
    {
      std::lock_guard lock(mutex_);
      ranges_.push_back(req.get_header_value("Range"));
      firstReply = ranges_.size() == 1;
    }
    if (options_.contentLength && !req.ranges.empty()) {
      start = static_cast<std::size_t>(std::max<std::int64_t>(req.ranges.front().first, 0));
    }
    // Writes one chunk of the bytes from `offset`, at most `length`; false closes the connection.
    auto provide = [this, start, firstReply](std::size_t offset, std::size_t length,
                                             httplib::DataSink& sink) {
      std::size_t n;
      {
        std::lock_guard lock(mutex_);
        n = std::uniform_int_distribution<std::size_t>(options_.minChunk, options_.maxChunk)(rng_);
      }
      const bool first = offset == start;
      if (first && options_.firstChunk > 0) n = options_.firstChunk;
      n = std::min(n, length);
      if (firstReply && options_.dropAfter >= 0) {
        if (static_cast<std::int64_t>(offset) >= options_.dropAfter) return false;
        n = std::min(n, static_cast<std::size_t>(options_.dropAfter) - offset);
      }
      if (!sink.write(reinterpret_cast<const char*>(bytes_.data() + offset), n)) return false;
      // Fault injection: the reader sees the bytes written so far before the next ones come.
      const auto pause = first && options_.firstPause.count() > 0 ? options_.firstPause : options_.pause;
      if (pause.count() > 0) std::this_thread::sleep_for(pause);
      return true;
    };
    if (options_.contentLength) {
      res.set_content_provider(bytes_.size(), options_.contentType, provide);
      return;
    }
    res.set_chunked_content_provider(options_.contentType,
                                     [this, provide](std::size_t offset, httplib::DataSink& sink) {
                                       if (offset >= bytes_.size()) {
                                         sink.done();
                                         return true;
                                       }
                                       return provide(offset, bytes_.size() - offset, sink);
                                     });
  });
  server_.start();
}

PureServer::~PureServer() { server_.stop(); }

std::vector<std::string> PureServer::ranges() {
  std::lock_guard lock(mutex_);
  return ranges_;
}

}  // namespace tonvera::test
