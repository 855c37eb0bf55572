#pragma once
// A stand-in for the service's "/stats" path on 127.0.0.1: records every body it receives (in arrival
// order, with its content type) and answers with a chosen status. Requests can be held open until
// release(), or the first one carrying a marker answered 200.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "test_server.h"

namespace tonvera::test {

class ReportService {
 public:
  ReportService();
  ~ReportService();

  std::string url() const { return server_.url(); }
  // Points TONVERA_SERVICE_URL at this service.
  void useForReports() const;

  void setStatus(int status);
  // The first request whose body contains `marker` is answered 200 (not accepted).
  void rejectFirst(const std::string& marker);
  // Requests whose body contains `marker` wait until release() (at most 20 s).
  void hold(const std::string& marker);
  void release();

  std::vector<std::string> bodies() const;
  std::vector<std::string> contentTypes() const;
  std::size_t count() const;
  // Waits (at most `timeout`) until `n` requests are being held.
  bool waitForHeld(std::size_t n, std::chrono::milliseconds timeout) const;
  // How many received bodies equal `body`.
  std::size_t received(const std::string& body) const;

 private:
  void handle(const httplib::Request& request, httplib::Response& response);

  mutable std::mutex mutex_;
  std::condition_variable released_;
  mutable std::condition_variable changed_;
  std::vector<std::string> bodies_;
  std::vector<std::string> contentTypes_;
  int status_ = 202;
  std::string rejectMarker_;
  bool rejected_ = false;
  std::string holdMarker_;
  bool releasedFlag_ = false;
  std::size_t held_ = 0;
  TestServer server_;  // last: stopped first
};

}  // namespace tonvera::test
