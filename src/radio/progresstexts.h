// What one progress tick of the now-playing controller shows: the readout text, the remaining
// time, the lyrics position and the slider position, worked out from the player's figures and the
// slider's state. Pure functions, so the exact texts and the slider rule are decided in one place.
//
// Threads: pure functions; any thread may call them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tonvera {

// A seek is pending while the slider was moved by the listener and the player has not caught up:
// the player's position then moves the slider only when it is within this many points of the
// slider position of the seek.
inline constexpr double kSliderSeekTolerance = 2.0;

// "%d:%02d / %d:%02d": position and duration, each cut to whole seconds towards zero.
std::string readoutText(double position, double duration);

// "%02d:%02d": the remaining time duration - position, cut to whole seconds (never below zero).
std::string remainingText(double position, double duration);

// The text shown while the stream's format (its bit rate) is not yet known.
inline constexpr const char* kUnknownPositionText = "00:00";

// The readout colour for the slider's state: 2 held down, 1 pointer over it, 0 at rest.
int readoutColorFor(bool sliderDown, bool sliderEntered);

// True when the slider should follow the player's position `percent`: always when no seek is
// pending (slideValue 0 or less), otherwise only within kSliderSeekTolerance of slideValue.
bool sliderFollowsPlayer(double percent, double slideValue);

// The inputs of one tick.
struct ProgressInput {
  std::uint32_t bitRate = 0;  // 0 while the format is unknown
  double progress = -1;       // seconds; -1 while unknown
  double duration = 0;        // seconds; 0 or less while unknown
  bool sliderDown = false;
  double sliderProgress = 0;  // percent, read while the slider is held down
  double slideValue = 0;      // percent of the pending seek, 0 when none
};

// What one tick changes; an absent member is left alone.
struct ProgressOutput {
  std::optional<std::string> positionText;  // the remaining-time label
  std::optional<double> lyricsTimestamp;    // seconds
  std::optional<std::string> readout;
  std::optional<double> sliderPercent;
};

ProgressOutput computeProgress(const ProgressInput& in);

}  // namespace tonvera
