#include "station/search.h"

#include <algorithm>
#include <tuple>

#include "station/text.h"

namespace tonvera::station {

std::optional<SearchKind> searchKindOf(std::string_view kind) {
  if (kind == "tracks") return SearchKind::Tracks;
  if (kind == "artists") return SearchKind::Artists;
  if (kind == "albums") return SearchKind::Albums;
  return std::nullopt;
}

namespace {

// 0 equal, 1 prefix, 2 contains, -1 no match.
int rankOf(const std::string& folded, const std::string& needle) {
  if (needle.empty() || folded == needle) return 0;
  const auto pos = folded.find(needle);
  if (pos == std::string::npos) return -1;
  return pos == 0 ? 1 : 2;
}

}  // namespace

std::vector<std::size_t> searchLibrary(const Library& library, SearchKind kind, std::string_view query) {
  const std::string needle = foldText(query);
  // (rank, name, index)
  std::vector<std::tuple<int, std::string_view, std::size_t>> hits;
  auto consider = [&](std::size_t index, const std::string& folded, std::string_view name,
                      const std::vector<const std::string*>& secondary) {
    int rank = rankOf(folded, needle);
    if (rank < 0) {
      for (const auto* other : secondary)
        if (other->find(needle) != std::string::npos) {
          rank = 3;
          break;
        }
    }
    if (rank >= 0) hits.emplace_back(rank, name, index);
  };
  switch (kind) {
    case SearchKind::Tracks:
      for (std::size_t i = 0; i < library.tracks().size(); ++i) {
        const auto& t = library.tracks()[i];
        std::vector<const std::string*> others{&library.albums()[t.album].folded};
        for (auto a : t.artists) others.push_back(&library.artists()[a].folded);
        consider(i, t.folded, t.title, others);
      }
      break;
    case SearchKind::Artists:
      for (std::size_t i = 0; i < library.artists().size(); ++i) {
        const auto& a = library.artists()[i];
        consider(i, a.folded, a.name, {});
      }
      break;
    case SearchKind::Albums:
      for (std::size_t i = 0; i < library.albums().size(); ++i) {
        const auto& album = library.albums()[i];
        std::vector<const std::string*> others;
        for (auto a : album.artists) others.push_back(&library.artists()[a].folded);
        consider(i, album.folded, album.name, others);
      }
      break;
  }
  std::sort(hits.begin(), hits.end());
  std::vector<std::size_t> result;
  result.reserve(hits.size());
  for (const auto& hit : hits) result.push_back(std::get<2>(hit));
  return result;
}

}  // namespace tonvera::station
