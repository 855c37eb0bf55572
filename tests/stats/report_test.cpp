// The usage reporter over whole runs of the program, against a real service on 127.0.0.1, in a
// temporary home folder. One process plays several runs: resetForTesting() stands for the process
// ending, so everything a later run knows comes from the two files.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <set>

#include "platform/fileutil.h"
#include "platform/mainqueue.h"
#include "platform/plist.h"
#include "report_service.h"
#include "stats/datasender.h"
#include "stats/machineinfo.h"
#include "stats/tonverareport.h"
#include "temp_home.h"

namespace tonvera {
namespace {

using namespace std::chrono_literals;
using test::ReportService;

constexpr const char* kOldCode = "1202231812";
constexpr const char* kNewCode = "1203011005";

// A report body taken apart: "api=<api>&param={<pairs>}", each pair's value kept raw (with quotes).
struct Report {
  std::string api;
  std::vector<std::string> keys;
  std::map<std::string, std::string> raw;
};

std::optional<Report> parseReport(const std::string& body) {
  static const std::regex shape("^api=([A-Za-z.]+)&param=\\{(.*)\\}$");
  std::smatch m;
  if (!std::regex_match(body, m, shape)) return std::nullopt;
  Report report;
  report.api = m[1];
  const std::string inner = m[2];
  if (inner.empty()) return report;
  static const std::regex pair("^\"([a-z_]+)\":(\"[^\"]*\"|[0-9]+)$");
  std::size_t start = 0;
  bool quoted = false;
  for (std::size_t i = 0; i <= inner.size(); ++i) {
    if (i < inner.size() && inner[i] == '"') quoted = !quoted;
    if (i == inner.size() || (inner[i] == ',' && !quoted)) {
      std::smatch p;
      const std::string item = inner.substr(start, i - start);
      if (!std::regex_match(item, p, pair)) return std::nullopt;
      report.keys.push_back(p[1]);
      report.raw[p[1]] = p[2];
      start = i + 1;
    }
  }
  return report;
}

std::string api(const std::string& body) {
  const auto report = parseReport(body);
  return report ? report->api : "unparsable: " + body;
}

std::vector<std::string> apis(const std::vector<std::string>& bodies) {
  std::vector<std::string> names;
  for (const auto& body : bodies) names.push_back(api(body));
  return names;
}

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TonveraReport::resetForTesting();
    DataSender::setTimeout(2s);
    service_ = std::make_unique<ReportService>();
    service_->useForReports();
  }

  void TearDown() override {
    if (service_) service_->release();
    TonveraReport::resetForTesting();
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
    TonveraReport::resetForTesting();
  }

  // One complete run: launch, all sends finished, exit.
  void run(const std::string& code) {
    launch(code);
    ASSERT_TRUE(settle());
    terminate();
  }

  std::vector<std::string> reportFile() const {
    const PlistFileRead file = readPlistFile(stateDir() + "/report.plist");
    std::vector<std::string> bodies;
    for (const auto& item : file.value.array()) bodies.push_back(item.toString());
    return bodies;
  }

  std::optional<std::string> versionFile() const { return readFile(stateDir() + "/update.plist"); }

  // Waits until the service has received `n` bodies and every send has finished.
  bool waitForService(std::size_t n) {
    return runMainLoopUntil(
        [&] { return service_->count() >= n && TonveraReport::scheduledReportCount() == 0; }, 10s);
  }

  // Where the reporter keeps its files (created by the reporter when it writes one).
  std::string stateDir() const { return home_.stateHome() + "/tonvera"; }

  test::TempHome home_;
  std::unique_ptr<ReportService> service_;
  long long runClock_ = 1700000000;
};

TEST_F(ReportTest, FirstRunEver) {
  const auto before = std::time(nullptr);
  launch(kOldCode, /*realClock=*/true);
  ASSERT_TRUE(waitForService(1));
  const auto after = std::time(nullptr);

  ASSERT_EQ(apis(service_->bodies()), std::vector<std::string>{"Service.Start"});
  EXPECT_EQ(service_->contentTypes()[0], "application/x-www-form-urlencoded");
  EXPECT_EQ(TonveraReport::pendingReports(), std::vector<std::string>{});
  EXPECT_FALSE(TonveraReport::isStopped());
  EXPECT_EQ(versionFile(), kOldCode);

  const auto start = parseReport(service_->bodies()[0]);
  ASSERT_TRUE(start.has_value());
  const long long localTime = std::stoll(start->raw.at("local_time"));
  EXPECT_GE(localTime, before);
  EXPECT_LE(localTime, after);
  EXPECT_EQ(start->keys.front(), "local_time");
  const std::pair<const char*, std::string> fields[] = {
      {"application_key", "\"5c0e8d2a9b7f4316e2a1d0c9b8f7e6a5\""},
      {"app", std::string("\"") + kTonveraAppIdentifier + "\""},
      {"channel", "\"offical\""},
      {"ver_name", "\"laser\""},
      {"ver_code", kOldCode},
      {"device_id", "\"" + machineIdentifier() + "\""},
      {"mac", "\"" + macAddressText() + "\""},
      {"model", "\"" + productName() + "\""},
      {"os", "\"Linux\""},
      {"operator_name", "\"WIFI\""},
      {"operator", "\"unknown\""},
      {"network", "\"wifi\""},
      {"resolution", "\"0*0\""},
      {"dpi", "72"},
  };
  for (const auto& [key, value] : fields) EXPECT_EQ(start->raw.at(key), value) << key;
  EXPECT_EQ(std::set<std::string>(start->keys.begin(), start->keys.end()).size(), start->keys.size());

  terminate();
  const auto file = reportFile();
  ASSERT_EQ(file.size(), 1u);
  EXPECT_EQ(api(file[0]), "Service.End");
  EXPECT_EQ(service_->count(), 1u);
}

TEST_F(ReportTest, FirstRunOfANewBuildSendsOneLiveUpdate) {
  run(kOldCode);
  run(kNewCode);
  EXPECT_EQ(versionFile(), kNewCode);
  run(kNewCode);

  ASSERT_EQ(apis(service_->bodies()),
            (std::vector<std::string>{"Service.Start", "Service.End", "Service.Start", "Service.Liveupdate",
                                      "Service.End", "Service.Start"}));
  const auto update = parseReport(service_->bodies()[3]);
  ASSERT_TRUE(update.has_value());
  EXPECT_EQ(update->raw.at("from"), kOldCode);
  EXPECT_EQ(update->raw.at("to"), kNewCode);
  EXPECT_EQ(update->raw.at("ver_code"), kNewCode);
  EXPECT_EQ(update->keys.back(), "to");
}

TEST_F(ReportTest, VersionFileContents) {
  struct Case {
    const char* content;
    const char* from;  // nullptr: no live-update report
  };
  const Case cases[] = {
      {"1202231812", nullptr},                  // same build
      {"1202231812\n", nullptr},                // a line end does not make it another build
      {"1101010000", "1101010000"}, {"", "0"},  // unreadable: counts as changed
      {"12022318\"12", "0"},                    // not a version code: never pasted into a report
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    test::writeTextFile(stateDir() + "/update.plist", c.content);
    const std::size_t seen = service_->count();
    run(kOldCode);
    const auto bodies = service_->bodies();
    std::vector<std::string> updates;
    for (std::size_t i = seen; i < bodies.size(); ++i) {
      if (api(bodies[i]) == "Service.Liveupdate") updates.push_back(bodies[i]);
    }
    if (!c.from) {
      EXPECT_TRUE(updates.empty());
    } else {
      ASSERT_EQ(updates.size(), 1u);
      EXPECT_EQ(parseReport(updates[0])->raw.at("from"), c.from);
      EXPECT_EQ(parseReport(updates[0])->raw.at("to"), kOldCode);
    }
    EXPECT_EQ(trimmed(versionFile().value_or("")), kOldCode);
  }
}

// A report whose send was not accepted is scheduled again by the next report once sending resumes.
TEST_F(ReportTest, RefusedReportIsScheduledAgainOnlyAfterItsSendFinished) {
  run(kOldCode);  // the version file exists: no live update below
  const std::string a = "api=Service.Test&param={\"n\":\"a\"}";
  const std::string b = "api=Service.Test&param={\"n\":\"b\"}";
  const std::string c = "api=Service.Test&param={\"n\":\"c\"}";
  service_->rejectFirst("\"a\"");
  launch(kOldCode);
  ASSERT_TRUE(settle());
  service_->hold("\"a\"");
  auto& reporter = TonveraReport::sharedInstance();
  reporter.call(a);
  ASSERT_TRUE(service_->waitForHeld(1, 5s));
  reporter.call(b);  // `a` is in flight: only `b` is scheduled
  EXPECT_EQ(TonveraReport::scheduledReportCount(), 2u);
  service_->release();  // `a` is refused, then `b` accepted
  ASSERT_TRUE(settle());
  EXPECT_EQ(TonveraReport::pendingReports(), std::vector<std::string>{a});
  EXPECT_FALSE(TonveraReport::isStopped());  // the accepted `b` resumed sending
  EXPECT_EQ(service_->received(a), 1u);

  reporter.call(c);  // schedules the refused `a` again, and `c`
  ASSERT_TRUE(settle());
  EXPECT_EQ(service_->received(a), 2u);
  EXPECT_EQ(service_->received(b), 1u);
  EXPECT_EQ(service_->received(c), 1u);
  EXPECT_EQ(TonveraReport::pendingReports(), std::vector<std::string>{});
}

TEST_F(ReportTest, AfterARefusalNewReportsOnlyCollect) {
  run(kOldCode);
  const std::size_t seen = service_->count();
  service_->setStatus(500);
  launch(kOldCode);
  ASSERT_TRUE(settle());
  ASSERT_TRUE(TonveraReport::isStopped());
  const std::size_t refused = service_->count();
  EXPECT_EQ(refused, seen + 2);  // the stored end report and the start report
  service_->setStatus(202);
  TonveraReport::sharedInstance().call("api=Service.Test&param={}");
  EXPECT_EQ(TonveraReport::scheduledReportCount(), 0u);
  EXPECT_EQ(TonveraReport::pendingReports()->size(), 3u);
  terminate();
  EXPECT_EQ(service_->count(), refused);
  EXPECT_EQ(apis(reportFile()),
            (std::vector<std::string>{"Service.End", "Service.Start", "Service.Test", "Service.End"}));
}

// At exit the pending bodies go to the report file; none of them may also leave the process now.
TEST_F(ReportTest, TerminationSendsNothingMore) {
  DataSender::setTimeout(kReportSendTimeout);
  service_->hold("Service.Start");
  launch(kOldCode);
  ASSERT_TRUE(service_->waitForHeld(1, 5s));
  TonveraReport::sharedInstance().call("api=Service.Test&param={}");
  TonveraReport::appTerminated();
  const auto begin = std::chrono::steady_clock::now();
  TonveraReport::resetForTesting();  // the in-flight send is aborted, the queued one skipped
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
  service_->release();
  EXPECT_EQ(apis(service_->bodies()), std::vector<std::string>{"Service.Start"});
  EXPECT_EQ(apis(reportFile()), (std::vector<std::string>{"Service.Start", "Service.Test", "Service.End"}));
}

TEST_F(ReportTest, DamagedReportFileGivesAnEmptyList) {
  struct Case {
    const char* content;
    std::vector<std::string> resent;
  };
  const Case cases[] = {
      {"not a property list", {}},
      {"<?xml version=\"1.0\"?><plist version=\"1.0\"><dict/></plist>", {}},
      {"<?xml version=\"1.0\"?><plist "
       "version=\"1.0\"><array><integer>3</integer><string>api=Service.End&amp;param={}"
       "</string></array></plist>",
       {"api=Service.End&param={}"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    test::writeTextFile(stateDir() + "/report.plist", c.content);
    const std::size_t seen = service_->count();
    launch(kOldCode);
    ASSERT_TRUE(settle());
    auto bodies = service_->bodies();
    bodies.erase(bodies.begin(), bodies.begin() + static_cast<std::ptrdiff_t>(seen));
    ASSERT_EQ(bodies.size(), c.resent.size() + 1);
    for (std::size_t i = 0; i < c.resent.size(); ++i) EXPECT_EQ(bodies[i], c.resent[i]);
    EXPECT_EQ(api(bodies.back()), "Service.Start");
    terminate();
    EXPECT_EQ(apis(reportFile()), std::vector<std::string>{"Service.End"});
  }
}

// A first run on a fresh account whose start report is not accepted: the state folder (here the
// default one under HOME, XDG_STATE_HOME being unset) is created and the report is sent at the next
// start, before that start's own report.
TEST_F(ReportTest, AReportThatFailedToSendIsSentOnTheNextStart) {
  ::unsetenv("XDG_STATE_HOME");
  ASSERT_FALSE(std::filesystem::exists(home_.path() + "/.local/state"));
  service_->setStatus(200);  // anything but 202 is a refusal: sending stops, reports collect
  launch(kOldCode);
  ASSERT_TRUE(waitForService(1));
  EXPECT_TRUE(TonveraReport::isStopped());
  EXPECT_EQ(apis(TonveraReport::pendingReports().value()), std::vector<std::string>{"Service.Start"});
  terminate();
  EXPECT_EQ(apis(reportFile()), (std::vector<std::string>{"Service.Start", "Service.End"}));
  EXPECT_EQ(versionFile(), kOldCode);
  service_->setStatus(202);
  launch(kOldCode);
  ASSERT_TRUE(waitForService(4));
  // The stored reports go first, in order, then the start's own; once accepted, sending resumes.
  EXPECT_EQ(apis(service_->bodies()),
            (std::vector<std::string>{"Service.Start", "Service.Start", "Service.End", "Service.Start"}));
  EXPECT_EQ(service_->bodies()[1], service_->bodies()[0]);
  EXPECT_EQ(TonveraReport::pendingReports(), std::vector<std::string>{});
  EXPECT_FALSE(TonveraReport::isStopped());
  terminate();
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
  constexpr int kReports = 300;
  std::vector<std::string> sent;
  for (int i = 0; i < kReports; ++i) {
    sent.push_back("api=Service.Test&param={\"n\":" + std::to_string(i) + "}");
    TonveraReport::sharedInstance().call(sent.back());
    if (i % 50 == 0) (void)TonveraReport::pendingReports();
  }
  ASSERT_TRUE(waitForService(kReports + 1));
  EXPECT_EQ(service_->count(), static_cast<std::size_t>(kReports + 1));
  for (const auto& body : sent) EXPECT_EQ(service_->received(body), 1u) << body;
  EXPECT_EQ(TonveraReport::pendingReports(), std::vector<std::string>{});
  EXPECT_FALSE(TonveraReport::isStopped());
  terminate();
  EXPECT_EQ(reportFile().size(), 1u);
}

}  // namespace
}  // namespace tonvera
