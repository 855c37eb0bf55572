#pragma once
// The program's log lines, printf-style, through Qt's logging categories (one per module,
// "tonvera.<module>") to standard error, where the journal collects them for a desktop launch;
// Qt's default format puts the category in front ("tonvera.audio: volume:1.00").
// - log(): what a user may need to know (a damaged file, a fallback); on by default.
// - logDebug(): the chatty lines (traces, volume changes); off unless QT_LOGGING_RULES
//   ("tonvera.*.debug=true", or one module) or enableVerboseLog() (the programs' --verbose) turns
//   them on. Their arguments are not formatted when they are off.
// Any thread may call these; lines from different threads never interleave.

#include <QLoggingCategory>

namespace tonvera {

Q_DECLARE_LOGGING_CATEGORY(lcPlatform)
Q_DECLARE_LOGGING_CATEGORY(lcService)
Q_DECLARE_LOGGING_CATEGORY(lcAudio)
Q_DECLARE_LOGGING_CATEGORY(lcRadio)
Q_DECLARE_LOGGING_CATEGORY(lcTaste)
Q_DECLARE_LOGGING_CATEGORY(lcControls)
Q_DECLARE_LOGGING_CATEGORY(lcKeys)
Q_DECLARE_LOGGING_CATEGORY(lcApp)

// A category above, named without calling it: log(lcAudio, "volume:%.2f", v).
using LogCategory = const QLoggingCategory& (*)();

[[gnu::format(printf, 2, 3)]] void log(LogCategory category, const char* format, ...);
[[gnu::format(printf, 2, 3)]] void logDebug(LogCategory category, const char* format, ...);
// A line of no particular module (category "tonvera"), as log() does.
[[gnu::format(printf, 1, 2)]] void log(const char* format, ...);

// Turns on the debug lines of every tonvera category (QT_LOGGING_RULES still has the last word).
void enableVerboseLog();

// A broken contract of a caller: logs `text` and, in debug builds, stops the program there.
void contractAssert(bool holds, const char* text);

}  // namespace tonvera
