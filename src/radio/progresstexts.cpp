#include "radio/progresstexts.h"

#include <cmath>
#include <cstdio>

namespace tonvera {

namespace {

// Whole seconds towards zero, kept in a range that int arithmetic and the texts can carry.
std::int64_t wholeSeconds(double seconds) {
  if (!std::isfinite(seconds)) return 0;
  constexpr double kLimit = 1e12;
  if (seconds > kLimit) seconds = kLimit;
  if (seconds < -kLimit) seconds = -kLimit;
  return static_cast<std::int64_t>(std::trunc(seconds));
}

}  // namespace

std::string readoutText(double position, double duration) {
  const std::int64_t p = wholeSeconds(position);
  const std::int64_t d = wholeSeconds(duration);
  char buf[96];
  std::snprintf(buf, sizeof buf, "%lld:%02lld / %lld:%02lld", static_cast<long long>(p / 60),
                static_cast<long long>(p % 60), static_cast<long long>(d / 60),
                static_cast<long long>(d % 60));
  return buf;
}

std::string remainingText(double position, double duration) {
  std::int64_t left = wholeSeconds(duration - position);
  // A position a little past the end would otherwise show a negative clock such as "00:-2".
  if (left < 0) left = 0;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02lld:%02lld", static_cast<long long>(left / 60),
                static_cast<long long>(left % 60));
  return buf;
}

int readoutColorFor(bool sliderDown, bool sliderEntered) {
  if (sliderDown) return 2;
  return sliderEntered ? 1 : 0;
}

bool sliderFollowsPlayer(double percent, double slideValue) {
  if (slideValue > 0 && std::fabs(percent - slideValue) > kSliderSeekTolerance) return false;
  return true;
}

ProgressOutput computeProgress(const ProgressInput& in) {
  ProgressOutput out;
  if (in.bitRate == 0) {
    out.positionText = kUnknownPositionText;
    return out;
  }
  const double p = in.progress;
  const double d = in.duration;
  if (p == -1 || !(d > 0)) return out;
  out.lyricsTimestamp = p;
  // While the slider is held, the readout shows where the listener is dragging to.
  const double shown = in.sliderDown ? in.sliderProgress * d / 100.0 : p;
  out.readout = readoutText(shown, d);
  out.positionText = remainingText(p, d);
  const double pct = p * 100.0 / d;
  if (sliderFollowsPlayer(pct, in.slideValue)) out.sliderPercent = pct;
  return out;
}

}  // namespace tonvera
