// Real-time pacing for the WAV and null sinks: they then take frames no faster than a device
// playing at the sample rate, keeping a short lead written ahead.
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/audiotoolbox/audiosink.h"

namespace tonvera {

namespace {

using Clock = std::chrono::steady_clock;

class RealtimeSink final : public AudioSink {
 public:
  RealtimeSink(std::unique_ptr<AudioSink> inner, int sampleRate)
      : inner_(std::move(inner)), rate_(sampleRate), lead_(sampleRate / 10) {}

  bool write(const std::int16_t* samples, std::size_t frames) override {
    if (!inner_->write(samples, frames)) return false;
    std::unique_lock lock(mutex_);
    // After an underrun the "device" starts again from what is written now.
    if (!paused_ && playedLocked() >= written_) rebase(written_);
    written_ += static_cast<std::int64_t>(frames);
    // Wait until no more than the lead is ahead of what the "device" has played.
    while (written_ - playedLocked() > lead_) {
      const std::int64_t excess = written_ - playedLocked() - lead_;
      wake_.wait_for(lock, std::chrono::microseconds(excess * 1000000 / rate_ + 1000));
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
  }
  void drain() override {
    std::unique_lock lock(mutex_);
    while (!paused_ && playedLocked() < written_) {
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
  const std::int64_t lead_;
  // guarded by mutex_
  std::mutex mutex_;
  std::condition_variable wake_;
  std::int64_t written_ = 0;
  std::int64_t base_ = 0;
  Clock::time_point baseTime_ = Clock::now();
  bool paused_ = false;
};

}  // namespace

std::unique_ptr<AudioSink> makeRealtimeSink(std::unique_ptr<AudioSink> inner, int sampleRate) {
  return std::make_unique<RealtimeSink>(std::move(inner), sampleRate);
}

}  // namespace tonvera
