// Work handed between the main thread and serial queues, notices posted to observers, and the log.
#include <gtest/gtest.h>

#include <QThread>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "platform/log.h"
#include "platform/mainqueue.h"
#include "platform/notificationcenter.h"
#include "platform/serialqueue.h"

namespace tonvera {
namespace {

using namespace std::chrono_literals;

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
  {
    SerialQueue queue("lrc");
    for (int i = 0; i < 20; ++i) queue.async([&] {
      QThread::usleep(200);
      ++done;
    });
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

TEST(Log, ModuleCategoriesOnStandardErrorAndDebugLinesOnlyWhenVerbose) {
  testing::internal::CaptureStderr();
  log(lcTaste, "taste file %s cannot be read", "a.plist");
  logDebug(lcAudio, "volume:%.2f", 1.0);
  enableVerboseLog();
  logDebug(lcAudio, "volume:%.2f", 0.0);
  QLoggingCategory::setFilterRules(QString());
  logDebug(lcRadio, "%s", "nextButton");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "tonvera.taste: taste file a.plist cannot be read\ntonvera.audio: volume:0.00\n");
}

}  // namespace
}  // namespace tonvera
