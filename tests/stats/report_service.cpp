#include "report_service.h"

#include <algorithm>
#include <cstdlib>

namespace tonvera::test {

ReportService::ReportService() {
  server_.http().Post("/stats",
                      [this](const httplib::Request& req, httplib::Response& res) { handle(req, res); });
  server_.start();
}

ReportService::~ReportService() {
  release();
  server_.stop();
}

void ReportService::useForReports() const { ::setenv("TONVERA_SERVICE_URL", url().c_str(), 1); }

void ReportService::setStatus(int status) {
  std::lock_guard lock(mutex_);
  status_ = status;
}

void ReportService::rejectFirst(const std::string& marker) {
  std::lock_guard lock(mutex_);
  rejectMarker_ = marker;
  rejected_ = false;
}

void ReportService::hold(const std::string& marker) {
  std::lock_guard lock(mutex_);
  holdMarker_ = marker;
  releasedFlag_ = false;
}

void ReportService::release() {
  {
    std::lock_guard lock(mutex_);
    releasedFlag_ = true;
    holdMarker_.clear();
  }
  released_.notify_all();
}

std::vector<std::string> ReportService::bodies() const {
  std::lock_guard lock(mutex_);
  return bodies_;
}

std::vector<std::string> ReportService::contentTypes() const {
  std::lock_guard lock(mutex_);
  return contentTypes_;
}

std::size_t ReportService::count() const {
  std::lock_guard lock(mutex_);
  return bodies_.size();
}

bool ReportService::waitForHeld(std::size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return held_ >= n; });
}

std::size_t ReportService::received(const std::string& body) const {
  std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(std::count(bodies_.begin(), bodies_.end(), body));
}

void ReportService::handle(const httplib::Request& request, httplib::Response& response) {
  std::unique_lock lock(mutex_);
  bodies_.push_back(request.body);
  contentTypes_.push_back(request.get_header_value("Content-Type"));
  if (!holdMarker_.empty() && request.body.find(holdMarker_) != std::string::npos) {
    ++held_;
    changed_.notify_all();
    released_.wait_for(lock, std::chrono::seconds(20), [this] { return releasedFlag_; });
    --held_;
  }
  int status = status_;
  if (!rejectMarker_.empty() && !rejected_ && request.body.find(rejectMarker_) != std::string::npos) {
    rejected_ = true;
    status = 200;
  }
  response.status = status;
  response.set_content("{}", "application/json");
}

}  // namespace tonvera::test
