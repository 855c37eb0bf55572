// Helpers of the record tests: records written as JSON, what an asynchronous lookup delivered (how
// often, whether before the call returned, on which thread), the files a lookup or the store left.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string_view>

#include "main_loop.h"
#include "platform/mainqueue.h"
#include "records/recordfields.h"
#include "service/jsonvalue.h"
#include "service/plistconvert.h"

namespace tonvera::test {

inline PlistValue plist(std::string_view json) {
  auto value = parseJson(json);
  EXPECT_TRUE(value) << json;
  return value ? toPlist(*value) : PlistValue();
}
inline Record record(std::string_view json) {
  const PlistValue value = plist(json);
  EXPECT_TRUE(value.isDict()) << json;
  return value.isDict() ? value.dict() : Record{};
}

// The names of the files in `folder`, sorted (none when it does not exist).
inline std::vector<std::string> filesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

struct Answer {
  int calls;
  bool beforeReturn, onMainThread, result;
  bool operator==(const Answer&) const = default;
};
inline void PrintTo(const Answer& a, std::ostream* os) {
  *os << a.calls << " call(s), " << (a.beforeReturn ? "at once" : "later") << (a.onMainThread ? ", main" : "")
      << (a.result ? ", a result" : ", nothing");
}
inline const Answer kAtOnce{1, true, true, false}, kCached{1, true, true, true}, kLater{1, false, true, true},
    kNothingLater{1, false, true, false};

template <typename Result, typename Owner>
struct Delivery {
  int calls = 0;
  bool returned = false;      // the lookup call has returned
  bool beforeReturn = false;  // delivered while the lookup call was still running
  bool onMainThread = false;
  Result result;
  std::shared_ptr<Owner> owner;
  Answer answer() const { return {calls, beforeReturn, onMainThread, result.has_value()}; }
};

// Runs `start` with a callback that records the delivery.
template <typename Result, typename Owner, typename Start>
std::shared_ptr<Delivery<Result, Owner>> deliveryOf(Start start) {
  auto d = std::make_shared<Delivery<Result, Owner>>();
  start([d](Result result, std::shared_ptr<Owner> owner) {
    ++d->calls;
    d->beforeReturn = !d->returned;
    d->onMainThread = isMainThread();
    d->result = std::move(result);
    d->owner = std::move(owner);
  });
  d->returned = true;
  return d;
}

// Waits for the first delivery, then lets everything already queued on the main thread run, so a
// second delivery would have been counted.
template <typename D>
void settle(const D& d) {
  using namespace std::chrono_literals;
  ASSERT_TRUE(runMainLoopUntil([&] { return d->calls > 0; }, 10s));
  bool flushed = false;
  runOnMain([&] { flushed = true; });
  ASSERT_TRUE(runMainLoopUntil([&] { return flushed; }, 10s));
}

}  // namespace tonvera::test
