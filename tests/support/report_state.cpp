#include <mutex>

#include "shared_state.h"
#include "stats/tonverareport.h"

namespace tonvera::test {

void forgetReporter() {
  TonveraReport& self = TonveraReport::sharedInstance();
  self.finishQueue();
  std::lock_guard lock(self.mutex_);
  self.pending_.reset();
  self.stop_ = false;
  self.settings_.clear();
  self.lastVersion_.reset();
}

}  // namespace tonvera::test
