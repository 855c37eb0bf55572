#pragma once
// The usage reporter: tells the music service when the program starts ("Service.Start"), when it
// ends ("Service.End") and when a new build runs for the first time ("Service.Liveupdate").
//
// Each report is one POST to the service's "/stats" path, sent by a DataSender on the reporter's own
// serial queue, one send at a time. Reports the service has not accepted stay in the pending list;
// at exit the list (with the end report) is written to "<state folder>/report.plist" and sent again
// at the next launch, before that launch's start report. The state folder ($XDG_STATE_HOME/tonvera/,
// by default ~/.local/state/tonvera/, see stateDir()) is created when a file is written there.
//
// A pending report is scheduled for sending at most once at a time: it is queued again only after
// its earlier send finished without being accepted, so the service never counts a report twice
// while it accepts them. After appTerminated() no further send leaves the process: the bodies are on
// disk for the next launch, so sends still queued are skipped and one in flight is aborted.
//
// Threads: every operation is for the main thread, except pendingReports(), scheduledReportCount()
// and isStopped(), which any thread may call. Completion notices of sends arrive on the send queue's
// worker thread; the pending list and the stop flag are guarded by one lock.

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tonvera {

namespace test {
void forgetReporter();  // tests/support: the reporter as a new process finds it
}

class DataSender;
class SerialQueue;

// The values the application passes to setTonveraAppkey() at start.
inline constexpr const char* kTonveraAppKey = "5c0e8d2a9b7f4316e2a1d0c9b8f7e6a5";
inline constexpr const char* kTonveraAppIdentifier = "org.tonvera.Tonvera";
inline constexpr const char* kTonveraReportChannel = "offical";
inline constexpr const char* kTonveraVersionName = "laser";

class TonveraReport {
 public:
  // Replaces the settings table with the four values plus "device_id" (the machine identifier) and
  // "ver_code" (the build's version code). Call once, before appLaunched().
  static void setTonveraAppkey(const std::string& appKey, const std::string& app, const std::string& channel,
                               const std::string& verName);

  // Loads the pending list from the report file, clears the stop flag, queues the start report and
  // then runs update().
  static void appLaunched();

  // Sets the stop flag; when a pending list exists, appends the end report, writes the list to the
  // report file (atomically; a failed write is ignored) and drops the list.
  static void appTerminated();

  // Queues the live-update report once per new build, keeping the last seen version code in
  // "<state folder>/update.plist" (plain text).
  static void update();

  // The common part of every report: "local_time" and the six settings pairs, "ver_code" unquoted,
  // the others quoted; no braces.
  static std::string basicString();

  // The three report texts.
  static std::string startReport(const std::string& mac, const std::string& model,
                                 const std::string& resolution);
  static std::string endReport();
  static std::string liveUpdateReport(const std::string& from, const std::string& to);

  // Paths of the two files in the state folder.
  static std::string reportFilePath();
  static std::string versionFilePath();

  static TonveraReport& sharedInstance();

  // Appends `body` to the pending list and, unless sending is stopped, schedules every pending report
  // not already scheduled. Before appLaunched() (no pending list) it does nothing.
  void call(const std::string& body);

  // Registers for the sender's finished notice.
  void trackObj(DataSender& sender);

  // The finished notice of a tracked sender (send queue's worker thread). Not accepted: sending
  // stops and the report may be scheduled again by a later call(). Accepted: sending resumes and
  // every pending report equal to the sender's body is removed.
  void observeValueForKeyPath(DataSender& sender);

  // Snapshot of the pending list (nothing when there is none), the number of pending reports whose
  // send is scheduled and not yet finished, and the stop flag.
  static std::optional<std::vector<std::string>> pendingReports();
  static std::size_t scheduledReportCount();
  static bool isStopped();
  static std::map<std::string, std::string> settings();

  // Test seams. A version code used by the next setTonveraAppkey() instead of the build's (nothing
  // restores the build's until it is set back).
  static void setVersionCodeOverride(std::optional<std::string> code);
  // A fixed "local_time" (seconds since 1970) for every report built while it is set.
  static void setTimeOverride(std::optional<long long> seconds);

  ~TonveraReport();
  TonveraReport(const TonveraReport&) = delete;
  TonveraReport& operator=(const TonveraReport&) = delete;

 private:
  // Ends every send (skipping or aborting them), waits for the send queue and forgets all state, as
  // a new process would start (tests play several runs in one process).
  friend void test::forgetReporter();
  TonveraReport() = default;

  struct Pending {
    std::string body;
    std::shared_ptr<DataSender> sender;  // set while a send of this body is scheduled
  };

  void cancelScheduledLocked();
  void finishQueue();

  // guarded by mutex_
  mutable std::mutex mutex_;
  std::optional<std::vector<Pending>> pending_;
  bool stop_ = false;

  // main thread only
  std::map<std::string, std::string> settings_;
  std::optional<std::string> lastVersion_;
  std::optional<std::string> versionOverride_;
  std::optional<long long> timeOverride_;
  std::unique_ptr<SerialQueue> q_;  // created on the first send; destroyed first
};

}  // namespace tonvera
