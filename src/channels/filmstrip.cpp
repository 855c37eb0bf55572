#include "channels/filmstrip.h"

#include <algorithm>

namespace tonvera::film {

std::optional<double> speedAt(double windowX, double clipWidth) {
  const double right = clipWidth - kEdgeZone;
  if (windowX < kEdgeZone) return (windowX - kEdgeZone) * kSpeedPerPoint;
  if (windowX > right) return (windowX - right) * kSpeedPerPoint;
  return std::nullopt;
}

double nextOrigin(double origin, double speed, double stripWidth, double clipWidth) {
  const double range = stripWidth - clipWidth;
  if (range <= 0) return 0;
  // f: 0 while the strip's left end shows, 1 while its right end shows.
  const double f = -origin / range;
  if (speed > 0) return std::min(origin + f * speed + speed, 0.0);
  return std::max(origin + (1 - f) * speed + speed, -range);
}

double startOrigin(int channelCount, double stripWidth, double clipWidth) {
  const double centred = -(stripWidth - clipWidth) / 2;
  if (channelCount <= 0) return centred;
  const double tilesEnd = tileX(channelCount - 1) + kTileSide;
  if (tilesEnd > -centred) return centred;  // some tile reaches into the middle view
  const double tilesMiddle = (kTileX0 + tilesEnd) / 2;
  return std::clamp(clipWidth / 2 - tilesMiddle, -(stripWidth - clipWidth), 0.0);
}

}  // namespace tonvera::film
