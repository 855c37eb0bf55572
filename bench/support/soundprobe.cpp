#include "support/soundprobe.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/audiotoolbox/audioqueue.h"

namespace tonvera::soundprobe {

namespace {
// Queues with a serial above this are watched while armed.
std::atomic<std::uint64_t> watchedAfter{0};
std::atomic<bool> armed{false};
// Nanoseconds of Clock since its epoch; 0: no sound since arm().
std::atomic<std::int64_t> stamp{0};

void observe(std::uint64_t serial, const std::int16_t* samples, std::size_t count) {
  if (!armed.load(std::memory_order_relaxed)) return;
  if (serial <= watchedAfter.load()) return;
  for (std::size_t i = 0; i < count; ++i) {
    if (samples[i] == 0) continue;
    const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch());
    // Only the first queue to sound stamps; the others find the probe disarmed.
    bool expected = true;
    if (armed.compare_exchange_strong(expected, false)) stamp.store(now.count());
    return;
  }
}
}  // namespace

void arm() {
  AudioQueue::setSampleWatcher(observe);
  stamp.store(0);
  watchedAfter.store(AudioQueue::lastQueueSerial());
  armed.store(true);
}

std::optional<Clock::time_point> firstSound() {
  const std::int64_t ns = stamp.load();
  if (ns == 0) return std::nullopt;
  return Clock::time_point(std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(ns)));
}

}  // namespace tonvera::soundprobe
