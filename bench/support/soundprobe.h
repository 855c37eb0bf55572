#pragma once
// When the listener first hears something: a probe on the samples the output queues hand their
// sinks (installed as the queues' sample watcher). Armed by a caller that times an action (the
// radio's benchmark), it stamps the moment the first sample that is not silence reaches a sink of
// an output queue made after the arming; queues that were already there (the track being stopped)
// are not watched.
//
// Threads: arm() and firstSound() from any thread; the watcher runs on the output queues' threads.

#include <chrono>
#include <optional>

namespace tonvera::soundprobe {

using Clock = std::chrono::steady_clock;

// Forgets the last stamp and watches the queues made from now on.
void arm();
// The moment of the first non-silent sample since arm(); nothing while none has come.
std::optional<Clock::time_point> firstSound();

}  // namespace tonvera::soundprobe
