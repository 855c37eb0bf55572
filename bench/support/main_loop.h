#pragma once
// Runs the main thread's event loop until a condition holds, for code that waits on the player,
// the radio or a window without a loop of its own.

#include <chrono>
#include <functional>

namespace tonvera {

// Main thread only. Runs the event loop until `condition` holds or `timeout` passes; answers whether
// the condition held.
bool runMainLoopUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

}  // namespace tonvera
