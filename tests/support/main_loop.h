#pragma once

#include <chrono>
#include <functional>

namespace tonvera {

// Main thread only. Runs the event loop until `condition` holds or `timeout` passes; answers whether
// the condition held.
bool runMainLoopUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

}  // namespace tonvera
