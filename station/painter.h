#pragma once
// Pictures the station paints itself: album covers, artist portraits and channel pictures for the
// demo library and for anything in a library that has no picture of its own. Painting is
// deterministic: the same seed gives the same pixels. No text is drawn (no font machinery needed).
// Threads: any thread (QImage painting only; no GUI objects).

#include <QImage>

#include <cstdint>
#include <string>
#include <string_view>

namespace tonvera::station {

std::uint32_t seedOf(std::string_view text);

// A square abstract cover.
QImage paintCover(std::uint32_t seed, int size);
// A silhouette on a coloured background, `width` x `height` (wider than high is fine).
QImage paintPortrait(std::uint32_t seed, int width, int height);
// A square channel badge of waves and circles.
QImage paintChannelPicture(std::uint32_t seed, int size);

// Encoded bytes; empty when encoding failed.
std::string jpegBytes(const QImage& image, int quality = 88);
std::string pngBytes(const QImage& image);

// "image/jpeg", "image/png", "image/gif", "image/webp", "image/bmp", "image/tiff", else
// "application/octet-stream", judged by the first bytes.
const char* pictureContentType(std::string_view bytes);

// Whether `bytes` decode as a picture (of any format Qt's image plug-ins read).
bool pictureDecodes(std::string_view bytes);

}  // namespace tonvera::station
