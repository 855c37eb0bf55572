// The picture cache under the application folder and the one-queue-per-download picture fetch
// shared by track and artist lookups.
//
// Cache layout: "<application folder>/album/<album id>" holds an album picture's downloaded bytes
// unchanged; "<application folder>/artist/<artist id>" holds an artist picture squared
// (squarePicture) and TIFF-encoded. Files are written atomically and never expired or deleted.
//
// Threads: pictureCacheFolder() and loadCachedPicture() on any thread; downloadPicture() may be
// called from any thread and delivers on the main thread.
#pragma once

#include <QImage>
#include <functional>
#include <optional>
#include <string>

namespace tonvera {

enum class PictureKind {
  Album,   // bytes cached unchanged, picture delivered as decoded
  Artist,  // picture squared, cached as TIFF, squared picture delivered
};

// The cache folder text of a kind: the application folder followed by "/album/" or "/artist/",
// created (with missing parents) when missing. Nothing when the application folder is unavailable;
// a folder that cannot be created still gives its text (the cache write then fails quietly).
std::optional<std::string> pictureCacheFolder(PictureKind kind);

// The cache file path of one album or artist: the folder text followed by the id. Nothing when the
// application folder is unavailable or the id cannot name a file inside the folder (empty, ".",
// "..", or holding "/" or a NUL byte): such lookups download without caching.
std::optional<std::string> pictureCachePath(PictureKind kind, const std::string& id);

// The picture in a cache file; nothing when the file is missing or does not decode as a picture
// (such a file counts as missing, so the caller downloads it again).
std::optional<QImage> loadCachedPicture(const std::string& path);

// On a new serial queue "albumId" of its own: requests `infoURL` as JSON, takes the picture file's
// URL from its "h", fetches and decodes it, writes the cache file at `cachePath` (when given), then
// calls `deliver` once on the main thread with the picture, or with nothing when any step failed
// (nothing is written then). A failed cache write is ignored: the picture is delivered all the same.
void downloadPicture(std::string infoURL, PictureKind kind, std::optional<std::string> cachePath,
                     std::function<void(std::optional<QImage>)> deliver);

}  // namespace tonvera
