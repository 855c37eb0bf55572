#include "channels/filmstrip.h"

#include <algorithm>

namespace tonvera::film {

std::optional<double> speedAt(double windowX, double clipWidth) {
  const double right = clipWidth - kEdgeZone;
  if (windowX < kEdgeZone) return (windowX - kEdgeZone) * kSpeedPerPoint;
  if (windowX > right) return (windowX - right) * kSpeedPerPoint;
  return std::nullopt;
}

namespace {

double tilesEnd(int channelCount) { return tileX(channelCount - 1) + kTileSide; }

bool tilesFit(int channelCount, double clipWidth) {
  return channelCount <= 0 || tilesEnd(channelCount) - kTileX0 <= clipWidth;
}

}  // namespace

Bounds scrollBounds(int channelCount, double stripWidth, double clipWidth) {
  if (tilesFit(channelCount, clipWidth)) {
    const double start = startOrigin(channelCount, stripWidth, clipWidth);
    return {start, start};
  }
  const double contentEnd = std::min(stripWidth, tilesEnd(channelCount) + kTileX0);
  return {std::min(0.0, clipWidth - contentEnd), 0};
}

double nextOrigin(double origin, double speed, Bounds bounds) {
  const double range = bounds.most - bounds.least;
  if (range <= 0) return bounds.most;
  // f: 0 while the strip's left end shows, 1 while its right end shows.
  const double f = (bounds.most - origin) / range;
  if (speed > 0) return std::min(origin + f * speed + speed, bounds.most);
  return std::max(origin + (1 - f) * speed + speed, bounds.least);
}

double startOrigin(int channelCount, double stripWidth, double clipWidth) {
  const double centred = -(stripWidth - clipWidth) / 2;
  if (channelCount <= 0) return centred;
  if (!tilesFit(channelCount, clipWidth)) {
    return std::max(centred, scrollBounds(channelCount, stripWidth, clipWidth).least);
  }
  const double tilesMiddle = (kTileX0 + tilesEnd(channelCount)) / 2;
  return std::clamp(clipWidth / 2 - tilesMiddle, -(stripWidth - clipWidth), 0.0);
}

}  // namespace tonvera::film
