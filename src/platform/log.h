#pragma once
// One log function for the log lines the program names; printf-style, one line to standard error.
// Any thread may call it; lines from different threads never interleave.

namespace tonvera {

[[gnu::format(printf, 1, 2)]] void log(const char* format, ...);

// A broken contract of a caller: logs `text` and, in debug builds, stops the program there.
void contractAssert(bool holds, const char* text);

}  // namespace tonvera
