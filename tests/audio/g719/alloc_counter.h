// Counts the calls of the global operator new on the current thread between start and stop.
// The replacement operator new lives in alloc_counter.cpp and serves this test executable only.
#pragma once

namespace tonvera::test {

void startCountingAllocations();
int stopCountingAllocations();  // allocations since start

}  // namespace tonvera::test
