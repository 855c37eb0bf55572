#pragma once
// Stable text ids for tracks, artists, albums and channels. An id is a short kind prefix and 13
// base-32 characters of a SHA-1 digest of a key that does not change across rescans (a track's path
// inside the library, an artist's folded name, an album's folded artist and title). Ids use only
// the characters a-z and 0-9, so they need no escaping in paths or URLs, and the only way from a
// request to a file is the lookup of such an id in the index.
// Pure functions; any thread may call them.

#include <string>
#include <string_view>

namespace tonvera::station {

inline constexpr std::string_view kTrackIdPrefix = "t";
inline constexpr std::string_view kArtistIdPrefix = "ar";
inline constexpr std::string_view kAlbumIdPrefix = "al";
inline constexpr std::string_view kGenreChannelPrefix = "g";
// The channel with every track; its id is fixed so a stored channel record can name it.
inline constexpr std::string_view kAllChannelId = "all";
inline constexpr std::string_view kAllChannelName = "全部";

// prefix + 13 characters of [a-z2-7].
std::string makeId(std::string_view prefix, std::string_view key);

// True for 1 to 64 characters of [a-z0-9]: the only texts looked up as ids.
bool isWellFormedId(std::string_view id);

}  // namespace tonvera::station
