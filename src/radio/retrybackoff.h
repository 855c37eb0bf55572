// A growing pause between repeated requests: the first retry waits `initial`, each further one
// twice as long as the one before, up to `maximum`; reset() starts again at `initial`.
//
// Threads: owner thread only (the now-playing controller keeps one on the main thread).
#pragma once

#include <algorithm>
#include <chrono>

namespace tonvera {

class RetryBackoff {
 public:
  using Duration = std::chrono::milliseconds;

  RetryBackoff(Duration initial, Duration maximum)
      : initial_(initial), maximum_(std::max(initial, maximum)) {}

  // The pause before the next retry; the one after it will be twice as long (capped).
  Duration next() {
    const Duration pause = next_ > Duration::zero() ? next_ : initial_;
    next_ = std::min(pause * 2, maximum_);
    ++retries_;
    return pause;
  }

  void reset() {
    next_ = Duration::zero();
    retries_ = 0;
  }

  // Retries since the last reset.
  int retries() const { return retries_; }

 private:
  Duration initial_;
  Duration maximum_;
  Duration next_{0};
  int retries_ = 0;
};

}  // namespace tonvera
