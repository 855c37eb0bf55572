#include "platform/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace tonvera {

// Debug lines are off by default; info and above are on.
Q_LOGGING_CATEGORY(lcGeneral, "tonvera", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPlatform, "tonvera.platform", QtInfoMsg)
Q_LOGGING_CATEGORY(lcService, "tonvera.service", QtInfoMsg)
Q_LOGGING_CATEGORY(lcAudio, "tonvera.audio", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRadio, "tonvera.radio", QtInfoMsg)
Q_LOGGING_CATEGORY(lcTaste, "tonvera.taste", QtInfoMsg)
Q_LOGGING_CATEGORY(lcControls, "tonvera.controls", QtInfoMsg)
Q_LOGGING_CATEGORY(lcKeys, "tonvera.keys", QtInfoMsg)
Q_LOGGING_CATEGORY(lcApp, "tonvera.app", QtInfoMsg)

namespace {

std::string format(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int size = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string line(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  if (size > 0) std::vsnprintf(line.data(), line.size() + 1, format, args);
  return line;
}

// Qt's message output writes each line with one call, so lines do not interleave.
void output(const QLoggingCategory& category, QtMsgType type, const char* text, va_list args) {
  if (!category.isEnabled(type)) return;
  const std::string line = format(text, args);
  QMessageLogger logger(nullptr, 0, nullptr, category.categoryName());
  if (type == QtDebugMsg)
    logger.debug("%s", line.c_str());
  else if (type == QtCriticalMsg)
    logger.critical("%s", line.c_str());
  else
    logger.warning("%s", line.c_str());
}

}  // namespace

void log(LogCategory category, const char* text, ...) {
  va_list args;
  va_start(args, text);
  output(category(), QtWarningMsg, text, args);
  va_end(args);
}

void logDebug(LogCategory category, const char* text, ...) {
  va_list args;
  va_start(args, text);
  output(category(), QtDebugMsg, text, args);
  va_end(args);
}

void log(const char* text, ...) {
  va_list args;
  va_start(args, text);
  output(lcGeneral(), QtWarningMsg, text, args);
  va_end(args);
}

void enableVerboseLog() { QLoggingCategory::setFilterRules(QStringLiteral("tonvera.debug=true\ntonvera.*.debug=true")); }

void contractAssert(bool holds, const char* text) {
  if (holds) return;
  QMessageLogger(nullptr, 0, nullptr, lcGeneral().categoryName()).critical("%s", text);
#ifndef NDEBUG
  std::abort();
#endif
}

}  // namespace tonvera
