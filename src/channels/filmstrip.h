// The channel wall's geometry and its pointer-driven scrolling, as plain numbers (points, x growing
// to the right). The wall is a strip of film 1690 x 116 seen through a frame 512 wide; tile i sits at
// x 80 + 85 i.
//
// Scrolling: a pointer in the left or right 100-point edge zone of the frame sets a speed that
// grows linearly into the zone, (x - 100) * -0.1 left of 100 and (x - 412) * -0.1 right of 412 (10
// points per tick at x 0, -10 at x 512); between 100 and 412 the strip stands still. Every 0.04 s
// the strip moves by the speed plus a share of it that grows with the distance from the end it
// moves towards: the edge speed at that end, twice the edge speed at the far end. The ends are
// those of the tiles, not of the film: the strip scrolls only as far as its last tile (and a margin
// as wide as the one before the first) comes into view, and not at all while every tile fits in the
// frame, so it never scrolls its tiles out of view.
//
// Threads: pure functions; any thread.
#pragma once

#include <chrono>
#include <optional>

namespace tonvera::film {

inline constexpr double kStripWidth = 1690;
inline constexpr double kStripHeight = 116;
inline constexpr double kClipWidth = 512;
// The origin that shows the strip's middle: (1690 - 512) / 2.
inline constexpr double kCentredOrigin = -589;
inline constexpr double kTileX0 = 80;
inline constexpr double kTileStep = 85;
inline constexpr double kTileY = 18;
inline constexpr double kTileSide = 80;
inline constexpr double kEdgeZone = 100;
inline constexpr double kSpeedPerPoint = -0.1;
inline constexpr std::chrono::milliseconds kTick{40};

// The x of tile `index` on the strip.
constexpr double tileX(int index) { return kTileX0 + kTileStep * index; }

// The scroll speed (points per tick, positive: the strip moves right) for a pointer at window x;
// nothing when the pointer is in the middle zone (100 <= x <= 412 for a 512-wide frame).
std::optional<double> speedAt(double windowX, double clipWidth = kClipWidth);

// The least and the most origin the strip may scroll to; equal when it does not scroll.
struct Bounds {
  double least;
  double most;
};

// The bounds for `channelCount` tiles on a strip `stripWidth` wide in a frame `clipWidth` wide.
Bounds scrollBounds(int channelCount, double stripWidth = kStripWidth, double clipWidth = kClipWidth);

// The strip's origin after one tick at `speed` from `origin`, kept within `bounds` (by default those
// of a full strip: -(1690 - 512) to 0).
double nextOrigin(double origin, double speed, Bounds bounds = Bounds{-(kStripWidth - kClipWidth), 0});

// Where the strip starts once `channelCount` tiles are built: the middle of the strip (-589) as far
// as the scroll bounds allow; tiles that all fit in the frame are shown centred where the strip's
// ends allow.
double startOrigin(int channelCount, double stripWidth = kStripWidth, double clipWidth = kClipWidth);

}  // namespace tonvera::film
