#include "platform/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace tonvera {

void log(const char* format, ...) {
  static std::mutex mutex;
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int size = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string line(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  if (size > 0) std::vsnprintf(line.data(), line.size() + 1, format, args);
  va_end(args);
  line.push_back('\n');
  std::lock_guard lock(mutex);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

void contractAssert(bool holds, const char* text) {
  if (holds) return;
  log("%s", text);
#ifndef NDEBUG
  std::abort();
#endif
}

}  // namespace tonvera
