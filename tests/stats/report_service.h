#pragma once
// A stand-in for the service's "/stats" path on 127.0.0.1: records every body it receives (in arrival
// order, with its content type) and answers with a chosen status. Requests can be held open until
// release() and are then refused.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "test_server.h"

namespace tonvera::test {

class ReportService {
  template <typename F>
  auto locked(F f) const {
    std::lock_guard lock(mutex_);
    return f();
  }

 public:
  ReportService() {
    server_.http().Post("/stats",
                        [this](const httplib::Request& req, httplib::Response& res) { handle(req, res); });
    server_.start();
  }
  ~ReportService() {
    release();
    server_.stop();
  }

  std::string url() const { return server_.url(); }

  void setStatus(int status) {
    locked([&] { status_ = status; });
  }
  // Requests whose body contains `marker` wait until release() (at most 20 s), then are answered
  // 200 (not accepted).
  void hold(const std::string& marker) {
    locked([&] { holdMarker_ = marker; });
  }
  void release() {
    locked([&] { holdMarker_.clear(); });
    changed_.notify_all();
  }

  std::vector<std::string> bodies() const {
    return locked([&] { return bodies_; });
  }
  std::vector<std::string> contentTypes() const {
    return locked([&] { return contentTypes_; });
  }
  std::size_t count() const { return bodies().size(); }
  // How many received bodies equal `body`.
  std::size_t received(const std::string& body) const {
    const auto all = bodies();
    return static_cast<std::size_t>(std::count(all.begin(), all.end(), body));
  }
  // Waits (at most `timeout`) until `n` requests are being held.
  bool waitForHeld(std::size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return held_ >= n; });
  }

 private:
  void handle(const httplib::Request& request, httplib::Response& response) {
    std::unique_lock lock(mutex_);
    bodies_.push_back(request.body);
    contentTypes_.push_back(request.get_header_value("Content-Type"));
    auto holds = [&] { return !holdMarker_.empty() && request.body.find(holdMarker_) != std::string::npos; };
    response.status = status_;
    if (holds()) {
      ++held_;
      changed_.notify_all();
      changed_.wait_for(lock, std::chrono::seconds(20), [&] { return !holds(); });
      --held_;
      response.status = 200;
    }
    response.set_content("{}", "application/json");
  }

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::string> bodies_;
  std::vector<std::string> contentTypes_;
  int status_ = 202;
  std::string holdMarker_;
  std::size_t held_ = 0;
  TestServer server_;  // last: stopped first
};

}  // namespace tonvera::test
