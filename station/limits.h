#pragma once
// The station's named limits and sizes, in one place.

#include <cstddef>

namespace tonvera::station {

inline constexpr int kDefaultPort = 7650;
inline constexpr const char* kDefaultBindAddress = "127.0.0.1";

// Worker threads answering requests whose head has arrived. A streaming client holds one for as
// long as it reads, so there are enough for many players at once next to their small JSON
// requests. Connections waiting for a request hold none (see gatedserver.h).
inline constexpr int kWorkerThreads = 64;
// A new connection that has not sent its whole request head within this time is closed...
inline constexpr int kRequestHeadTimeoutSeconds = 10;
// ...and so is a kept-alive one that starts no new request within this time.
inline constexpr int kIdleTimeoutSeconds = 15;
// Connections waiting for a request head at once (each is a file descriptor); a new one beyond
// this closes the one waiting longest.
inline constexpr std::size_t kMaxWaitingConnections = 768;
// A request head is looked for in this many bytes; a longer one is handed to the HTTP library as
// it is, which answers 414 (URL too long) or 400.
inline constexpr std::size_t kMaxRequestHeadBytes = 16 * 1024;
// Connections waiting to be accepted.
inline constexpr int kListenBacklog = 512;
// Request bodies (private-channel id lists, usage reports) larger than this are refused with 413.
inline constexpr std::size_t kMaxBodyBytes = 64 * 1024;
// A client that reads nothing for this long loses its connection (a paused player reconnects
// with a range request).
inline constexpr int kWriteTimeoutSeconds = 30;
inline constexpr int kKeepAliveMaxRequests = 100;
// Bytes read from disk and handed to the socket at a time.
inline constexpr std::size_t kStreamChunkBytes = 64 * 1024;

inline constexpr std::size_t kQueueLength = 10;
inline constexpr std::size_t kDefaultSearchCount = 20;
inline constexpr std::size_t kMaxSearchCount = 100;
inline constexpr std::size_t kMaxSearchStart = 1000000;
inline constexpr std::size_t kMaxQueryBytes = 256;
inline constexpr std::size_t kSimilarArtistCount = 20;
// Generated pictures kept in memory; the cache is emptied when it would grow past this.
inline constexpr std::size_t kPictureCacheEntries = 256;

// Picture files larger than this are not decoded to check them, and are served as absent.
inline constexpr std::size_t kMaxPictureFileBytes = 32 * 1024 * 1024;

inline constexpr int kCoverSize = 500;
inline constexpr int kPortraitWidth = 480;
inline constexpr int kPortraitHeight = 320;
inline constexpr int kChannelPictureSize = 240;

}  // namespace tonvera::station
