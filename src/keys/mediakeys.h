// What the media keys deliver to the application delegate, and the settings the media-key code
// owns. No Qt Widgets here: the key sources (the session bus, the window's key events) translate
// into MediaKeyEvent and the delegate decides.
//
// Threads: any (plain values and pure functions).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tonvera {

// One special-key event: the key's code, whether it went down (key-up events are delivered too and
// ignored by the delegate) and whether it is an auto-repeat of a key held down.
struct MediaKeyEvent {
  // Key codes of the three media keys.
  static constexpr int kPlayPause = 16;
  static constexpr int kFastForward = 19;  // next track
  static constexpr int kRewind = 20;       // previous track

  int keyCode = 0;
  bool keyDown = false;
  bool isRepeat = false;

  // Decodes the packed word of a special-key event: key code in bits 16-31, key state in bits 8-15
  // (0x0A key down, 0x0B key up), the repeat flag in bit 0.
  static MediaKeyEvent fromData1(std::uint32_t data1);
};

// Settings keys of the media-key code.
inline constexpr const char* kApplicationsNeedingMediaKeysKey = "SPApplicationsNeedingMediaKeys";
inline constexpr const char* kIgnoreMediaKeysKey = "SPIgnoreMediaKeys";

// The players that want the media keys when they are frontmost, as desktop-file ids, ours first:
// the registered default of "SPApplicationsNeedingMediaKeys".
std::vector<std::string> defaultMediaKeyUserBundleIdentifiers();

}  // namespace tonvera
