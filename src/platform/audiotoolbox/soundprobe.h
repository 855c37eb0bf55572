#pragma once
// When the listener first hears something: a probe on the samples the output queues hand their
// sinks. Armed by a caller that times an action (the radio's benchmark), it stamps the moment the
// first sample that is not silence reaches a sink of an output queue made after the arming; queues
// that were already there (the track being stopped) are not watched. Disarmed it costs one relaxed
// atomic load per write.
//
// Threads: arm() and firstSound() from any thread; observe() from the output queues' threads.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace tonvera::soundprobe {

using Clock = std::chrono::steady_clock;

// Forgets the last stamp and watches the queues made from now on.
void arm();
// The moment of the first non-silent sample since arm(); nothing while none has come.
std::optional<Clock::time_point> firstSound();

// A serial number for a new output queue (counted from 1), taken when it is made.
std::uint64_t nextQueueSerial();
// Output thread of queue `serial`: `count` interleaved samples about to be written to its sink.
void observe(std::uint64_t serial, const std::int16_t* samples, std::size_t count);

}  // namespace tonvera::soundprobe
