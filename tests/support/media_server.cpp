#include "media_server.h"

#include <algorithm>
#include <thread>

namespace tonvera::test {

MediaServer::MediaServer(std::vector<std::uint8_t> bytes, MediaOptions options)
    : bytes_(std::move(bytes)), options_(std::move(options)), rng_(options_.seed) {
  server_.http().Get("/track", [this](const httplib::Request& req, httplib::Response& res) {
    bool first;
    {
      std::lock_guard lock(mutex_);
      ranges_.push_back(req.get_header_value("Range"));
      first = ranges_.size() == 1;
      if (cutAt_ && !answeredAgain_) {
        if (std::chrono::steady_clock::now() - *cutAt_ < options_.refuseFor) {
          ++refused_;
          res.status = 503;
          res.set_content("unavailable", "text/plain");
          return;
        }
        answeredAgain_ = true;
      }
    }
    if (!options_.contentLength) {
      res.set_chunked_content_provider(
          options_.contentType, [this, first](std::size_t offset, httplib::DataSink& sink) {
            if (offset >= bytes_.size()) {
              sink.done();
              return true;
            }
            return provide(first, offset == 0, offset, bytes_.size() - offset, sink);
          });
      return;
    }
    res.set_header("Accept-Ranges", "bytes");
    const std::size_t start =
        req.ranges.empty() ? 0 : std::size_t(std::max<std::int64_t>(req.ranges.front().first, 0));
    res.set_content_provider(
        bytes_.size(), options_.contentType,
        [this, first, start](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
          return provide(first, offset == start, offset, length, sink);
        });
  });
  server_.start();
}

MediaServer::~MediaServer() {
  {
    std::lock_guard lock(mutex_);
    stallReleased_ = true;
  }
  released_.notify_all();
  server_.stop();
}

bool MediaServer::provide(bool firstReply, bool firstWrite, std::size_t offset, std::size_t length,
                          httplib::DataSink& sink) {
  std::size_t n = options_.chunk;
  if (options_.minChunk > 0) {
    std::lock_guard lock(mutex_);
    n = std::uniform_int_distribution<std::size_t>(options_.minChunk, options_.chunk)(rng_);
  }
  if (firstWrite && options_.firstChunk > 0) n = options_.firstChunk;
  n = std::min(n, length);
  if (firstReply && options_.dropAfter >= 0) {
    if (std::int64_t(offset) >= options_.dropAfter) {
      std::lock_guard lock(mutex_);
      if (!cutAt_) cutAt_ = std::chrono::steady_clock::now();
      return false;  // closes the connection
    }
    n = std::min<std::size_t>(n, std::size_t(options_.dropAfter) - offset);
  }
  if (firstReply && options_.stallAfter >= 0) {
    if (std::int64_t(offset) >= options_.stallAfter) {
      std::unique_lock lock(mutex_);
      released_.wait_for(lock, std::chrono::seconds(60), [this] { return stallReleased_; });
      return false;
    }
    n = std::min<std::size_t>(n, std::size_t(options_.stallAfter) - offset);
  }
  if (!sink.write(reinterpret_cast<const char*>(bytes_.data() + offset), n)) return false;
  {
    std::lock_guard lock(mutex_);
    sent_ += std::int64_t(n);
  }
  // The reader sees the bytes written so far before the next ones come.
  const auto pause = firstWrite && options_.firstPause.count() > 0 ? options_.firstPause : options_.pause;
  if (pause.count() > 0) std::this_thread::sleep_for(pause);
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

int MediaServer::refused() {
  std::lock_guard lock(mutex_);
  return refused_;
}

}  // namespace tonvera::test
