// The program's folders, property-list files and the user defaults; serial queues and the main
// thread; notices posted to observers.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "main_loop.h"
#include "platform/fileutil.h"
#include "platform/folders.h"
#include "platform/mainqueue.h"
#include "platform/notificationcenter.h"
#include "platform/plist.h"
#include "platform/serialqueue.h"
#include "platform/userdefaults.h"
#include "temp_home.h"

namespace tonvera {
namespace {

using namespace std::chrono_literals;

// The account folder under XDG_DATA_HOME is the taste store's business (its files are read there);
// without the variable the folders go under ~/.local/share.
TEST(Folders, FallBackToLocalShare) {
  test::TempHome home;
  ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(*appSupportDir(), home.path() + "/.local/share/Tonvera/");
  EXPECT_EQ(*baseDir(), home.path() + "/.local/share/Tonvera//000/");
}

// Every type goes through XML and back; members without a value are left out; a missing file, bad
// bytes and a folder that is not there are reported.
TEST(Plist, RoundTripsEveryTypeThroughXml) {
  PlistValue::Dict record{{"id", "1001"},
                          {"name", "晴天 \"quoted\" & <tag>"},
                          {"count", -5},
                          {"big", 1ll << 40},
                          {"ratio", 0.25},
                          {"yes", true},
                          {"bytes", PlistValue::Data{0, 10, 200}},
                          {"artist", PlistValue::Array{PlistValue::Dict{{"id", "7"}, {"name", "A"}}}},
                          {"empty", PlistValue::Dict{}}};
  PlistValue::Dict withNone = record;
  withNone["drop"] = PlistValue();
  const std::string xml = PlistValue(withNone).toXml();
  EXPECT_NE(xml.find("<!DOCTYPE plist"), std::string::npos);
  EXPECT_EQ(PlistValue::fromBytes(xml), PlistValue(record));
  std::string error;
  EXPECT_FALSE(PlistValue::fromBytes("garbage", &error));
  EXPECT_FALSE(error.empty());

  test::TempHome home;
  const std::string path = home.path() + "/a.plist";
  EXPECT_EQ(readPlistFile(path).status, PlistFileRead::Status::Missing);
  ASSERT_TRUE(writePlistFile(path, PlistValue::Dict{{"k", 1}}));
  auto read = readPlistFile(path);
  ASSERT_EQ(read.status, PlistFileRead::Status::Ok);
  EXPECT_EQ(read.value.find("k")->toInteger(), 1);
  EXPECT_FALSE(writePlistFile(home.path() + "/no/such/folder/x.plist", PlistValue::Dict{}));
}

TEST(UserDefaults, ValuesPersistAcrossInstancesAndRegisteredOnesAreNeverWritten) {
  test::TempHome home;
  const std::string path = UserDefaults::standardPath();
  EXPECT_EQ(path, home.configHome() + "/tonvera/defaults.plist");
  {
    UserDefaults defaults(path);
    defaults.registerDefaults({{"enplay", true}});
    defaults.set("enplay", false);  // a set value overrides the registered one; removed, it is back
    EXPECT_FALSE(defaults.boolForKey("enplay"));
    defaults.remove("enplay");
    EXPECT_TRUE(defaults.boolForKey("enplay"));
    defaults.set("kSelectStation", PlistValue::Dict{{"id", "all"}, {"name", "全部"}});
    defaults.set("count", 42);
    defaults.set("ratio", 0.5);
    EXPECT_TRUE(defaults.synchronize());
  }
  UserDefaults again(path);
  EXPECT_EQ(again.dictionaryForKey("kSelectStation").at("name").toString(), "全部");
  EXPECT_EQ(again.integerForKey("count"), 42);
  EXPECT_DOUBLE_EQ(again.doubleForKey("ratio"), 0.5);
  // Registered values were volatile: the new store does not know them.
  EXPECT_FALSE(again.object("enplay").has_value());
  EXPECT_EQ(again.integerForKey("missing"), 0);
}

// Damaged files are set aside (the property-list fuzz corpus is replayed by the taste tests).
TEST(UserDefaults, ASecondDamagedFileDoesNotReplaceTheFirstCopy) {
  test::TempHome home;
  const std::string path = UserDefaults::standardPath();
  makeDirectories(std::filesystem::path(path).parent_path().string());
  const std::string garbage = "<?xml version=\"1.0\"?><plist><dict><key>a</key><string>unterminated";
  for (const std::string& damaged : {garbage, PlistValue(PlistValue::Array{"x"}).toXml()}) {
    ASSERT_TRUE(writeFileAtomically(path, damaged));
    UserDefaults store(path);
  }
  EXPECT_EQ(*readFile(path + ".corrupt"), garbage);
  int copies = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(path).parent_path())) {
    if (entry.path().filename().string().starts_with("defaults.plist.corrupt")) ++copies;
  }
  EXPECT_EQ(copies, 2);
}

TEST(SerialQueue, RunsTasksInOrderOffTheMainThreadAndHandsBackToMain) {
  SerialQueue queue("getNextTrackInfo");
  std::vector<int> order;  // written by the worker only, read after the hand-back
  std::vector<int> mainOrder;
  std::atomic<bool> offMain{true};
  for (int i = 0; i < 100; ++i) {
    queue.async([&, i] {
      if (isMainThread()) offMain = false;
      order.push_back(i);
      if (i % 10 == 9) runOnMain([&, i] {
        EXPECT_TRUE(isMainThread());
        mainOrder.push_back(i);
      });
    });
  }
  ASSERT_TRUE(runMainLoopUntil([&] { return mainOrder.size() == 10; }, 5s));
  EXPECT_TRUE(offMain);
  ASSERT_EQ(order.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
  EXPECT_EQ(mainOrder, (std::vector<int>{9, 19, 29, 39, 49, 59, 69, 79, 89, 99}));
}

TEST(SerialQueue, DestructionFinishesQueuedTasks) {
  std::atomic<int> done{0};
  std::atomic<bool> closing{false};
  {
    SerialQueue queue("lrc");
    // The first task holds the rest back until the queue is about to be destroyed.
    queue.async([&] {
      while (!closing) std::this_thread::yield();
    });
    for (int i = 0; i < 20; ++i) queue.async([&] { ++done; });
    closing = true;
  }
  EXPECT_EQ(done.load(), 20);
}

TEST(NotificationCenter, CallsMatchingObserversInRegistrationOrder) {
  NotificationCenter center;
  std::vector<std::string> calls;
  int senderA = 0, senderB = 0;
  center.addObserver("STATIONChanged", nullptr, [&](const Notification& n) {
    calls.push_back("any:" + n.userInfo.find("key")->toString());
  });
  center.addObserver("STATIONChanged", &senderA, [&](const Notification&) { calls.push_back("fromA"); });
  center.addObserver("other", nullptr, [&](const Notification&) { calls.push_back("other"); });
  center.addObserver("", nullptr, [&](const Notification& n) { calls.push_back("all:" + n.name); });

  center.post("STATIONChanged", &senderA, PlistValue::Dict{{"key", "1"}});
  EXPECT_EQ(calls, (std::vector<std::string>{"any:1", "fromA", "all:STATIONChanged"}));
  calls.clear();
  center.post("STATIONChanged", &senderB, PlistValue::Dict{{"key", "2"}});
  EXPECT_EQ(calls, (std::vector<std::string>{"any:2", "all:STATIONChanged"}));
}

TEST(NotificationCenter, RemovalStopsDeliveryEvenDuringAPost) {
  NotificationCenter center;
  int first = 0, second = 0;
  NotificationCenter::ObserverId secondId = 0;
  center.addObserver("n", nullptr, [&](const Notification&) {
    ++first;
    center.removeObserver(secondId);
  });
  secondId = center.addObserver("n", nullptr, [&](const Notification&) { ++second; });
  center.post("n");
  center.post("n");
  EXPECT_EQ(first, 2);
  EXPECT_EQ(second, 0);

  int owned = 0;
  const int owner = 0;
  center.addObserver("m", nullptr, [&](const Notification&) { ++owned; }, &owner);
  {
    ScopedObserver scoped(center, "m", nullptr, [&](const Notification&) { ++owned; });
    center.post("m");
  }
  center.post("m");
  center.removeObserversOf(&owner);
  center.post("m");
  EXPECT_EQ(owned, 3);
}

}  // namespace
}  // namespace tonvera
