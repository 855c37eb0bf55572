#pragma once
// One usage-report send: an operation that POSTs its report body to the service's "/stats" path
// and records whether the service accepted it (HTTP status exactly 202).
//
// Threads: construct, setParam() and setFinishedObserver() on the creating thread before the sender
// is handed to a queue; start() runs once, on the queue's worker thread; cancel(), isCancelled(),
// isFinished() from any thread; isError() after isFinished() is true (or from the observer).

#include <atomic>
#include <chrono>
#include <functional>
#include <string>

namespace tonvera {

// Time allowed for one report send, connection included.
inline constexpr std::chrono::milliseconds kReportSendTimeout{10000};

// The address reports are posted to: the service base URL followed by "/stats".
std::string reportURL();

class DataSender {
 public:
  // The URL is taken from reportURL() now, on the creating thread.
  explicit DataSender(std::string body);
  DataSender(std::string body, std::string url);
  DataSender(const DataSender&) = delete;
  DataSender& operator=(const DataSender&) = delete;

  // Runs main() unless the sender was cancelled, marks it finished and then calls the finished
  // observer (on this same thread). Call once.
  void start();

  // The send itself, synchronous: POST with content type "application/x-www-form-urlencoded", the
  // body as raw UTF-8 bytes, no redirects followed, the response body discarded, through the common
  // transfer set-up (http and https only, verified TLS, proxy from the environment). Sets the outcome.
  void main();

  // Asks the sender not to send: before start() the send is skipped; during main() the transfer is
  // aborted at the next progress check. The outcome stays an error.
  void cancel() { cancelled_.store(true); }
  bool isCancelled() const { return cancelled_.load(); }
  bool isFinished() const { return finished_.load(); }

  // True unless the service answered with status 202 and no transport error occurred.
  bool isError() const { return error_; }

  const std::string& param() const { return param_; }
  void setParam(std::string body) { param_ = std::move(body); }
  const std::string& url() const { return url_; }

  // Called once when the sender has finished, on the thread that ran start().
  void setFinishedObserver(std::function<void(DataSender&)> observer) { observer_ = std::move(observer); }

  // The time-out every sender uses; kReportSendTimeout unless changed (tests shorten it).
  static std::chrono::milliseconds timeout();
  static void setTimeout(std::chrono::milliseconds timeout);

 private:
  std::string param_;
  std::string url_;
  std::function<void(DataSender&)> observer_;
  bool error_ = true;  // written by main(), read after finished_
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> finished_{false};
};

}  // namespace tonvera
