#include "stats/tonverareport.h"

#include <algorithm>
#include <ctime>
#include <filesystem>

#include "platform/fileutil.h"
#include "platform/folders.h"
#include "platform/plist.h"
#include "platform/serialqueue.h"
#include "stats/datasender.h"
#include "stats/machineinfo.h"

namespace tonvera {

namespace {

bool isVersionCode(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The version code a version file holds; "0" when the file cannot be read or holds no version code,
// so the live-update report stays well formed and the file is written again.
std::string readLastVersion(const std::string& path) {
  const auto text = readFile(path);
  if (!text) return "0";
  std::string code = trimmed(*text);
  return isVersionCode(code) ? code : std::string("0");
}

}  // namespace

TonveraReport& TonveraReport::sharedInstance() {
  static TonveraReport instance;
  return instance;
}

TonveraReport::~TonveraReport() { finishQueue(); }

void TonveraReport::cancelScheduledLocked() {
  if (!pending_) return;
  for (auto& entry : *pending_) {
    if (entry.sender) entry.sender->cancel();
  }
}

void TonveraReport::finishQueue() {
  {
    std::lock_guard lock(mutex_);
    cancelScheduledLocked();
  }
  // Every task left on the queue now skips its send; joining waits at most for one aborting transfer.
  q_.reset();
}

std::string TonveraReport::reportFilePath() { return stateDir() + "report.plist"; }

std::string TonveraReport::versionFilePath() { return stateDir() + "update.plist"; }

void TonveraReport::setTonveraAppkey(const std::string& appKey, const std::string& app,
                                     const std::string& channel, const std::string& verName) {
  TonveraReport& self = sharedInstance();
  std::map<std::string, std::string> table;
  table["application_key"] = appKey;
  table["app"] = app;
  table["channel"] = channel;
  table["ver_name"] = verName;
  table["device_id"] = machineIdentifier();
  table["ver_code"] = self.versionOverride_ ? *self.versionOverride_ : buildVersionCode();
  self.settings_ = std::move(table);
}

std::string TonveraReport::basicString() {
  const TonveraReport& self = sharedInstance();
  const long long now = self.timeOverride_ ? *self.timeOverride_ : static_cast<long long>(std::time(nullptr));
  std::string text = "\"local_time\":" + std::to_string(now);
  for (const auto& [key, value] : self.settings_) {
    if (key == "ver_code") {
      text += ",\"" + key + "\":" + value;
    } else {
      text += ",\"" + key + "\":\"" + value + "\"";
    }
  }
  return text;
}

std::string TonveraReport::startReport(const std::string& mac, const std::string& model,
                                       const std::string& resolution) {
  return "api=Service.Start&param={" + basicString() + ",\"mac\":\"" + mac + "\",\"model\":\"" + model +
         "\",\"os\":\"Linux\",\"operator_name\":\"WIFI\",\"operator\":\"unknown\",\"network\":\"wifi\","
         "\"resolution\":\"" +
         resolution + "\",\"dpi\":72}";
}

std::string TonveraReport::endReport() { return "api=Service.End&param={" + basicString() + "}"; }

std::string TonveraReport::liveUpdateReport(const std::string& from, const std::string& to) {
  return "api=Service.Liveupdate&param={" + basicString() + ",\"from\":" + from + ",\"to\":" + to + "}";
}

void TonveraReport::appLaunched() {
  TonveraReport& self = sharedInstance();
  std::vector<Pending> loaded;
  const PlistFileRead file = readPlistFile(reportFilePath());
  if (file.status == PlistFileRead::Status::Ok) {
    for (const PlistValue& item : file.value.array()) {
      if (item.isString()) loaded.push_back({item.toString(), nullptr});
    }
  }
  {
    std::lock_guard lock(self.mutex_);
    self.cancelScheduledLocked();
    self.pending_ = std::move(loaded);
  }
  const std::string mac = macAddressText();
  {
    std::lock_guard lock(self.mutex_);
    self.stop_ = false;
  }
  const std::string resolution = screenResolutionText();
  self.call(startReport(mac, productName(), resolution));
  update();
}

void TonveraReport::update() {
  TonveraReport& self = sharedInstance();
  const auto found = self.settings_.find("ver_code");
  const std::string code = found != self.settings_.end() ? found->second : std::string();
  const std::string path = versionFilePath();
  if (!self.lastVersion_) {
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
      self.lastVersion_ = readLastVersion(path);
    } else {
      self.lastVersion_ = code;
      makeDirectories(stateDir());
      writeFileAtomically(path, code);
    }
  }
  if (*self.lastVersion_ == code) return;
  self.call(liveUpdateReport(*self.lastVersion_, code));
  self.lastVersion_ = code;
  makeDirectories(stateDir());
  writeFileAtomically(path, code);
}

void TonveraReport::appTerminated() {
  TonveraReport& self = sharedInstance();
  std::lock_guard lock(self.mutex_);
  self.stop_ = true;
  if (!self.pending_) return;
  // The bodies go to disk for the next launch; sending them now as well would count them twice.
  self.cancelScheduledLocked();
  self.pending_->push_back({endReport(), nullptr});
  PlistValue::Array bodies;
  for (const auto& entry : *self.pending_) bodies.emplace_back(entry.body);
  // A failed write (the folder cannot be made) loses the reports, as a full disk would.
  makeDirectories(stateDir());
  writePlistFile(reportFilePath(), PlistValue(std::move(bodies)));
  self.pending_.reset();
}

void TonveraReport::call(const std::string& body) {
  std::lock_guard lock(mutex_);
  if (!pending_) return;
  pending_->push_back({body, nullptr});
  if (stop_) return;
  if (!q_) q_ = std::make_unique<SerialQueue>("com.tonvera.report");
  for (auto& entry : *pending_) {
    if (entry.sender) continue;  // its earlier send has not finished yet
    auto sender = std::make_shared<DataSender>(entry.body);
    trackObj(*sender);
    entry.sender = sender;
    q_->async([sender] { sender->start(); });
  }
}

void TonveraReport::trackObj(DataSender& sender) {
  sender.setFinishedObserver([this](DataSender& finished) { observeValueForKeyPath(finished); });
}

void TonveraReport::observeValueForKeyPath(DataSender& sender) {
  std::lock_guard lock(mutex_);
  if (!pending_) return;
  auto& list = *pending_;
  const auto own =
      std::find_if(list.begin(), list.end(), [&](const Pending& e) { return e.sender.get() == &sender; });
  // A sender no longer tracked: its body was accepted through an equal one, or it belongs to a list
  // already written at termination.
  if (own == list.end()) return;
  if (sender.isError()) {
    stop_ = true;
    own->sender.reset();
    return;
  }
  stop_ = false;
  std::erase_if(list, [&](const Pending& e) {
    if (e.body != sender.param()) return false;
    if (e.sender && e.sender.get() != &sender) e.sender->cancel();
    return true;
  });
}

std::optional<std::vector<std::string>> TonveraReport::pendingReports() {
  const TonveraReport& self = sharedInstance();
  std::lock_guard lock(self.mutex_);
  if (!self.pending_) return std::nullopt;
  std::vector<std::string> bodies;
  for (const auto& entry : *self.pending_) bodies.push_back(entry.body);
  return bodies;
}

std::size_t TonveraReport::scheduledReportCount() {
  const TonveraReport& self = sharedInstance();
  std::lock_guard lock(self.mutex_);
  if (!self.pending_) return 0;
  return static_cast<std::size_t>(std::count_if(self.pending_->begin(), self.pending_->end(),
                                                [](const Pending& e) { return e.sender != nullptr; }));
}

bool TonveraReport::isStopped() {
  const TonveraReport& self = sharedInstance();
  std::lock_guard lock(self.mutex_);
  return self.stop_;
}

std::map<std::string, std::string> TonveraReport::settings() { return sharedInstance().settings_; }

void TonveraReport::setVersionCodeOverride(std::optional<std::string> code) {
  sharedInstance().versionOverride_ = std::move(code);
}

void TonveraReport::setTimeOverride(std::optional<long long> seconds) {
  sharedInstance().timeOverride_ = seconds;
}

}  // namespace tonvera
