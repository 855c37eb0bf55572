// The two filters the radio applies to every looked-up track before playing it: songs judged
// English (only when the listener asked for that with "enplay"), and songs on the disliked list.
//
// Threads: pure functions; any thread may call them.
#pragma once

#include <string_view>

namespace tonvera {

// True when the song counts as English: its artist text (the artists joined with spaces) reduced
// to canonical form is English and names none of the exempt acts, or else its canonical title is
// English. A text that has no canonical form (an empty one) is not English.
bool isEnglishSong(std::string_view artistText, std::string_view title);

// True when the track is to be skipped: English with `noEnglish` set, or disliked.
bool shouldSkipTrack(std::string_view artistText, std::string_view title, bool noEnglish, bool disliked);

}  // namespace tonvera
