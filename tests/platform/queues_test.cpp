#include <gtest/gtest.h>

#include <QThread>
#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

#include "platform/mainqueue.h"
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

TEST(MainQueue, RunMainLoopUntilTimesOutWhenTheConditionNeverHolds) {
  EXPECT_TRUE(isMainThread());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(runMainLoopUntil([] { return false; }, 50ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
  std::atomic<bool> flag{false};
  SerialQueue::runDetached("albumId", [&] { runOnMain([&] { flag = true; }); });
  EXPECT_TRUE(runMainLoopUntil([&] { return flag.load(); }, 5s));
}

}  // namespace
}  // namespace tonvera
