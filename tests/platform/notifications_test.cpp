#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/notificationcenter.h"

namespace tonvera {
namespace {

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
