// Real-time pacing for the WAV and null sinks: they then take frames no faster than a device
// playing at the sample rate, keeping a short lead written ahead. The writer is let through in
// periods: once the lead is full it sleeps until the "device" has played a period of it, so that
// it wakes a few times a second rather than once per write.
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/audiotoolbox/audiosink.h"

namespace tonvera {

namespace {

using Clock = std::chrono::steady_clock;

// At most this much is written ahead of the "device" (a device's latency: a pause, whose fade-out
// follows what is written, is heard within it), as much as the sound server is asked to hold ...
constexpr int kLeadDivisor = 5;  // 200 ms
// ... and a writer held back sleeps until this much of it is left: it wakes every 180 ms. Each
// wake-up of the output thread costs about as much as decoding what it writes then, so fewer and
// longer stretches keep a playing radio cheap.
constexpr int kLowDivisor = 50;  // 20 ms

class RealtimeSink final : public AudioSink {
 public:
  RealtimeSink(std::unique_ptr<AudioSink> inner, int sampleRate)
      : inner_(std::move(inner)),
        rate_(sampleRate),
        lead_(sampleRate / kLeadDivisor),
        low_(sampleRate / kLowDivisor) {}

  bool write(const std::int16_t* samples, std::size_t frames) override {
    if (!inner_->write(samples, frames)) return false;
    std::unique_lock lock(mutex_);
    // After an underrun the "device" starts again from what is written now.
    if (!paused_ && playedLocked() >= written_) rebase(written_);
    written_ += static_cast<std::int64_t>(frames);
    if (written_ - playedLocked() <= lead_) return true;
    // The lead is full: sleep until only the low mark is ahead (a paused "device" plays nothing,
    // so then until it resumes).
    while (!interrupted_ && written_ - playedLocked() > low_) {
      if (paused_) {
        wake_.wait(lock);
      } else {
        const std::int64_t excess = written_ - playedLocked() - low_;
        wake_.wait_for(lock, std::chrono::microseconds(excess * 1000000 / rate_ + 1000));
      }
    }
    return true;
  }
  std::int64_t latencyFrames() override {
    std::lock_guard lock(mutex_);
    return written_ - playedLocked();
  }
  void discard() override {
    std::lock_guard lock(mutex_);
    rebase(written_);
    interrupted_ = false;
  }
  void drain() override {
    std::unique_lock lock(mutex_);
    while (!interrupted_ && !paused_ && playedLocked() < written_) {
      wake_.wait_for(lock, std::chrono::microseconds((written_ - playedLocked()) * 1000000 / rate_ + 1000));
    }
  }
  void setPaused(bool paused) override {
    std::lock_guard lock(mutex_);
    if (paused == paused_) return;
    rebase(playedLocked());
    paused_ = paused;
    wake_.notify_all();
  }
  void interrupt() override {
    std::lock_guard lock(mutex_);
    interrupted_ = true;
    wake_.notify_all();
  }

 private:
  // Frames the "device" has played: the base plus the time since the base, at most what was written.
  std::int64_t playedLocked() const {
    if (paused_) return base_;
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - baseTime_).count();
    const std::int64_t played = base_ + elapsed * rate_ / 1000000;
    return played < written_ ? played : written_;
  }
  void rebase(std::int64_t played) {
    base_ = played;
    baseTime_ = Clock::now();
  }

  std::unique_ptr<AudioSink> inner_;
  const int rate_;
  const std::int64_t lead_;  // frames
  const std::int64_t low_;   // frames
  // guarded by mutex_
  std::mutex mutex_;
  std::condition_variable wake_;
  std::int64_t written_ = 0;
  std::int64_t base_ = 0;
  Clock::time_point baseTime_ = Clock::now();
  bool paused_ = false;
  bool interrupted_ = false;
};

}  // namespace

std::unique_ptr<AudioSink> makeRealtimeSink(std::unique_ptr<AudioSink> inner, int sampleRate) {
  return std::make_unique<RealtimeSink>(std::move(inner), sampleRate);
}

}  // namespace tonvera
