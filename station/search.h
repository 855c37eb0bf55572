#pragma once
// Catalogue search over tracks, artists or albums: case- and width-insensitive substring matching
// of folded text (Chinese matches character by character, so any part of a name finds it).
// Threads: any thread.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "station/library.h"

namespace tonvera::station {

enum class SearchKind { Tracks, Artists, Albums };

// "tracks", "artists", "albums".
std::optional<SearchKind> searchKindOf(std::string_view kind);

// Indexes of every match, best first: names equal to the query, then names starting with it, then
// names containing it, then matches through an artist or album name only; ties by name. An empty
// query matches everything. `query` is folded here.
std::vector<std::size_t> searchLibrary(const Library& library, SearchKind kind, std::string_view query);

}  // namespace tonvera::station
