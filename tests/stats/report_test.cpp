// The usage reporter against a real service on 127.0.0.1. One process plays several runs:
// test::forgetReporter() stands for the process ending, so a later run knows only the two files.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <regex>
#include <thread>

#include "main_loop.h"
#include "platform/fileutil.h"
#include "platform/plist.h"
#include "report_service.h"
#include "shared_state.h"
#include "stats/datasender.h"
#include "stats/machineinfo.h"
#include "stats/tonverareport.h"
#include "temp_home.h"

namespace tonvera {
namespace {

using namespace std::chrono_literals;
using test::ReportService;
using Bodies = std::vector<std::string>;

constexpr const char* kOldCode = "1202231812";

// The "api" of a report body "api=<api>&param={...}".
std::string api(const std::string& body) {
  static const std::regex shape("^api=([A-Za-z.]+)&param=\\{.*\\}$");
  std::smatch m;
  return std::regex_match(body, m, shape) ? m[1].str() : "unparsable: " + body;
}

Bodies apis(const Bodies& bodies) {
  Bodies names;
  for (const auto& body : bodies) names.push_back(api(body));
  return names;
}

// The raw value (quotes kept) of `key` in a report body, "" when absent.
std::string field(const std::string& body, const std::string& key) {
  std::smatch m;
  const std::regex pair("[{,]\"" + key + "\":(\"[^\"]*\"|[0-9]+)[,}]");
  return std::regex_search(body, m, pair) ? m[1].str() : "";
}

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::forgetReporter();
    DataSender::setTimeout(2s);
    ::setenv("TONVERA_SERVICE_URL", service_->url().c_str(), 1);
  }

  void TearDown() override {
    service_->release();
    test::forgetReporter();
    TonveraReport::setVersionCodeOverride(std::nullopt);
    TonveraReport::setTimeOverride(std::nullopt);
    DataSender::setTimeout(kReportSendTimeout);
    ::unsetenv("TONVERA_SERVICE_URL");
  }

  // The start of a run of a build with version code `code`, as the application shell does it. Each
  // run gets a clock of its own, a minute after the previous one, so no two runs build equal reports.
  void launch(const std::string& code, bool realClock = false) {
    runClock_ += 60;
    TonveraReport::setTimeOverride(realClock ? std::nullopt : std::optional<long long>(runClock_));
    TonveraReport::setVersionCodeOverride(code);
    TonveraReport::setTonveraAppkey(kTonveraAppKey, kTonveraAppIdentifier, kTonveraReportChannel,
                                    kTonveraVersionName);
    TonveraReport::appLaunched();
  }

  // Every scheduled send has finished and its outcome has been applied.
  static bool settle() {
    return runMainLoopUntil([] { return TonveraReport::scheduledReportCount() == 0; }, 10s);
  }

  // The end of the run, then the end of the process.
  static void terminate() {
    TonveraReport::appTerminated();
    test::forgetReporter();
  }

  // One complete run: launch, all sends finished, exit.
  void run(const std::string& code) {
    launch(code);
    ASSERT_TRUE(settle());
    terminate();
  }

  Bodies reportFile() const {
    const PlistFileRead file = readPlistFile(stateDir() + "/report.plist");
    Bodies bodies;
    for (const auto& item : file.value.array()) bodies.push_back(item.toString());
    return bodies;
  }

  std::optional<std::string> versionFile() const { return readFile(stateDir() + "/update.plist"); }

  // The bodies the service received after the first `seen`.
  Bodies bodiesSince(std::size_t seen) const {
    const Bodies all = service_->bodies();
    return Bodies(all.begin() + static_cast<std::ptrdiff_t>(seen), all.end());
  }

  // Waits until the service has received `n` bodies and every send has finished.
  bool waitForService(std::size_t n) {
    return runMainLoopUntil(
        [&] { return service_->count() >= n && TonveraReport::scheduledReportCount() == 0; }, 10s);
  }

  // Where the reporter keeps its files (created by the reporter when it writes one).
  std::string stateDir() const { return home_.stateHome() + "/tonvera"; }

  test::TempHome home_;
  std::unique_ptr<ReportService> service_ = std::make_unique<ReportService>();
  long long runClock_ = 1700000000;
};

// Only 202 is accepted. The body goes out as it is, as form text: characters that form encoding or
// JSON escaping would change arrive untouched.
TEST_F(ReportTest, SendOnlyStatus202IsAcceptedAndTheBodyGoesOutAsRawUtf8FormText) {
  const std::string body =
      "api=Service.End&param={\"app\":\"a b&c=d%20+\",\"name\":\"私人电台\",\"q\":\"\\\"\"}";
  for (const int status : {202, 200, 204}) {
    service_->setStatus(status);
    DataSender sender(body, service_->url() + "/stats");
    sender.start();
    EXPECT_EQ(sender.isError(), status != 202) << "status " << status;
  }
  EXPECT_EQ(service_->bodies(), Bodies(3, body));
  EXPECT_EQ(service_->contentTypes()[0], "application/x-www-form-urlencoded");
}

// A held reply (accepted only after 20 s) ends the send as an error when it is cancelled in flight,
// or at the time-out.
TEST_F(ReportTest, SendHeldIsAnErrorWhenCancelledInFlightOrAtTheTimeOut) {
  service_->hold("api=");
  DataSender::setTimeout(std::chrono::hours(1));
  DataSender sender("api=Test", service_->url() + "/stats");
  std::thread worker([&] { sender.start(); });
  EXPECT_TRUE(service_->waitForHeld(1, 5s));
  sender.cancel();
  worker.join();
  EXPECT_TRUE(sender.isError());

  DataSender::setTimeout(300ms);
  DataSender slow("api=Test", service_->url() + "/stats");
  slow.start();
  EXPECT_TRUE(slow.isError());
}

TEST_F(ReportTest, FirstRunEver) {
  const auto before = std::time(nullptr);
  launch(kOldCode, /*realClock=*/true);
  ASSERT_TRUE(waitForService(1));
  const auto after = std::time(nullptr);

  ASSERT_EQ(service_->count(), 1u);
  const std::string start = service_->bodies()[0];
  EXPECT_EQ(versionFile(), kOldCode);

  const long long localTime = std::stoll(field(start, "local_time"));
  EXPECT_GE(localTime, before);
  EXPECT_LE(localTime, after);
  const std::string expected =
      "api=Service.Start&param={\"local_time\":" + std::to_string(localTime) + ",\"app\":\"" +
      kTonveraAppIdentifier +
      "\",\"application_key\":\"5c0e8d2a9b7f4316e2a1d0c9b8f7e6a5\",\"channel\":\"offical\",\"device_id\":\"" +
      machineIdentifier() + "\",\"ver_code\":" + kOldCode + ",\"ver_name\":\"laser\",\"mac\":\"" +
      macAddressText() + "\",\"model\":\"" + productName() +
      "\",\"os\":\"Linux\",\"operator_name\":\"WIFI\",\"operator\":\"unknown\",\"network\":\"wifi\","
      "\"resolution\":\"0*0\",\"dpi\":72}";
  EXPECT_EQ(start, expected);

  terminate();
  EXPECT_EQ(apis(reportFile()), Bodies{"Service.End"});
}

// The version file holds the code of the last build that ran; the first run of another build sends
// one live-update report from that code to its own.
TEST_F(ReportTest, VersionFileContents) {
  struct Case {
    const char* content;
    const char* from;  // nullptr: no live-update report
  };
  const Case cases[] = {
      {"1202231812\n", nullptr},                // same build: the line end does not count
      {"1101010000", "1101010000"}, {"", "0"},  // unreadable: counts as changed
      {"12022318\"12", "0"},                    // not a version code: never pasted into a report
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    test::writeTextFile(stateDir() + "/update.plist", c.content);
    const std::size_t seen = service_->count();
    run(kOldCode);
    Bodies updates;
    for (const auto& body : bodiesSince(seen))
      if (api(body) == "Service.Liveupdate")
        updates.push_back(field(body, "from") + ">" + field(body, "to") + " " + field(body, "ver_code"));
    EXPECT_EQ(updates, c.from ? Bodies{std::string(c.from) + ">" + kOldCode + " " + kOldCode} : Bodies{});
    EXPECT_EQ(trimmed(versionFile().value_or("")), kOldCode);
  }
}

// A report whose send was not accepted is scheduled again by the next report once sending resumes.
TEST_F(ReportTest, RefusedReportIsScheduledAgainOnlyAfterItsSendFinished) {
  run(kOldCode);  // the version file exists: no live update below
  auto test = [](const char* n) { return "api=Service.Test&param={\"n\":\"" + std::string(n) + "\"}"; };
  const std::string a = test("a"), b = test("b"), c = test("c");
  launch(kOldCode);
  ASSERT_TRUE(settle());
  service_->hold("\"a\"");
  auto& reporter = TonveraReport::sharedInstance();
  reporter.call(a);
  ASSERT_TRUE(service_->waitForHeld(1, 5s));
  reporter.call(b);  // `a` is in flight: only `b` is scheduled
  service_->release();  // `a` is refused (answered 200), then `b` accepted
  ASSERT_TRUE(settle());
  EXPECT_EQ(TonveraReport::pendingReports(), Bodies{a});
  EXPECT_FALSE(TonveraReport::isStopped());  // the accepted `b` resumed sending

  reporter.call(c);  // schedules the refused `a` again, and `c`
  ASSERT_TRUE(settle());
  EXPECT_EQ(service_->received(a), 2u);
  EXPECT_EQ(service_->received(b), 1u);
  EXPECT_EQ(service_->received(c), 1u);
  EXPECT_EQ(TonveraReport::pendingReports(), Bodies{});
}

// Anything but 202 is a refusal: sending stops and reports collect, go to the report file at exit and
// are sent at the next start, in order, before that start's own report. The state folder is the
// default one under HOME here (XDG_STATE_HOME unset).
TEST_F(ReportTest, AfterARefusalReportsCollectUntilTheNextStart) {
  ::unsetenv("XDG_STATE_HOME");
  run(kOldCode);
  service_->setStatus(200);
  launch(kOldCode);
  ASSERT_TRUE(settle());
  ASSERT_TRUE(TonveraReport::isStopped());
  const std::size_t refused = service_->count();
  service_->setStatus(202);
  TonveraReport::sharedInstance().call("api=Service.Test&param={}");
  EXPECT_EQ(TonveraReport::scheduledReportCount(), 0u);
  terminate();
  EXPECT_EQ(service_->count(), refused);
  const Bodies stored = reportFile();
  EXPECT_EQ(apis(stored), (Bodies{"Service.End", "Service.Start", "Service.Test", "Service.End"}));
  launch(kOldCode);
  ASSERT_TRUE(waitForService(refused + 5));
  Bodies sent = bodiesSince(refused);
  EXPECT_EQ(api(sent.back()), "Service.Start");
  sent.pop_back();
  EXPECT_EQ(sent, stored);
}

// At exit the pending bodies go to the report file; none of them may also leave the process now.
// (Waited for, the held start report would be accepted after 20 s and miss from the file.)
TEST_F(ReportTest, TerminationSendsNothingMore) {
  DataSender::setTimeout(std::chrono::hours(1));
  service_->hold("Service.Start");
  launch(kOldCode);
  ASSERT_TRUE(service_->waitForHeld(1, 5s));
  TonveraReport::sharedInstance().call("api=Service.Test&param={}");
  TonveraReport::appTerminated();
  test::forgetReporter();  // the in-flight send is aborted, the queued one skipped
  service_->release();
  EXPECT_EQ(apis(service_->bodies()), Bodies{"Service.Start"});
  EXPECT_EQ(apis(reportFile()), (Bodies{"Service.Start", "Service.Test", "Service.End"}));
}

TEST_F(ReportTest, DamagedReportFileGivesAnEmptyList) {
  const std::pair<const char*, Bodies> cases[] = {
      {"not a property list", {}},
      {"<?xml version=\"1.0\"?><plist version=\"1.0\"><array><integer>3</integer>"
       "<string>api=Service.End&amp;param={}</string></array></plist>",
       {"api=Service.End&param={}"}},
  };
  for (const auto& [content, resent] : cases) {
    SCOPED_TRACE(content);
    test::writeTextFile(stateDir() + "/report.plist", content);
    const std::size_t seen = service_->count();
    launch(kOldCode);
    ASSERT_TRUE(settle());
    Bodies bodies = bodiesSince(seen);
    ASSERT_FALSE(bodies.empty());
    EXPECT_EQ(api(bodies.back()), "Service.Start");
    bodies.pop_back();
    EXPECT_EQ(bodies, resent);
    terminate();
  }
}

TEST_F(ReportTest, NothingHappensOutsideALaunchedRun) {
  TonveraReport::setTonveraAppkey(kTonveraAppKey, kTonveraAppIdentifier, kTonveraReportChannel,
                                  kTonveraVersionName);
  TonveraReport::sharedInstance().call("api=Service.Test&param={}");
  EXPECT_FALSE(TonveraReport::pendingReports().has_value());
  TonveraReport::appTerminated();
  EXPECT_FALSE(std::filesystem::exists(stateDir() + "/report.plist"));
  EXPECT_EQ(service_->count(), 0u);
}

// Reports are appended on the main thread while sends complete and remove them on the worker.
TEST_F(ReportTest, AppendingWhileSendsComplete) {
  launch(kOldCode);
  constexpr int kReports = 100;
  Bodies sent;
  for (int i = 0; i < kReports; ++i) {
    sent.push_back("api=Service.Test&param={\"n\":" + std::to_string(i) + "}");
    TonveraReport::sharedInstance().call(sent.back());
    if (i % 20 == 0) (void)TonveraReport::pendingReports();
  }
  ASSERT_TRUE(waitForService(kReports + 1));
  for (const auto& body : sent) EXPECT_EQ(service_->received(body), 1u) << body;
  EXPECT_EQ(TonveraReport::pendingReports(), Bodies{});
  EXPECT_FALSE(TonveraReport::isStopped());
}

// The machine facts of the start report: names read from files, trimmed ("PC" without one), and the
// address of the first non-loopback Ethernet interface by name.
TEST(MachineInfo, NamesFromFilesAndTheReportedInterface) {
  test::TempHome home;
  test::writeTextFile(home.path() + "/name", "\t ThinkPad X1 Carbon \r\n\n");
  EXPECT_EQ(machineIdentifier(home.path() + "/name"), "ThinkPad X1 Carbon");
  EXPECT_EQ(productName(home.path() + "/name"), "ThinkPad X1 Carbon");
  EXPECT_EQ(machineIdentifier(home.path() + "/none"), "");
  EXPECT_EQ(productName(home.path() + "/none"), "PC");

  const LinkAddress lo{"lo", true, false, {0, 0, 0, 0, 0, 0}};
  const LinkAddress eth1{"eth1", false, true, {0x00, 0x1a, 0x2B, 0xc3, 0xFF, 0x09}};
  const LinkAddress wlan{"wlan0", false, true, {3, 3, 3, 3, 3, 3}};
  const LinkAddress loopEther{"a-loop", true, true, {4, 4, 4, 4, 4, 4}};
  EXPECT_EQ(chooseReportedInterface({wlan, eth1, lo})->name, "eth1");
  EXPECT_EQ(chooseReportedInterface({loopEther, wlan})->name, "wlan0");
  EXPECT_FALSE(chooseReportedInterface({lo, {"tun0", false, false, {}}}));
  EXPECT_EQ(macText(eth1.bytes.data(), eth1.bytes.size()), "00:1A:2B:C3:FF:09");
  EXPECT_TRUE(std::regex_match(buildVersionCode(), std::regex("^[0-9]{10}$"))) << buildVersionCode();
}

}  // namespace
}  // namespace tonvera
