// The index: names from tags or folders, ids that survive rescans, the index cache, channels,
// pictures, similar artists, search and play queues.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "station/library.h"
#include "station/queues.h"
#include "station/scanner.h"
#include "station/search.h"
#include "station_fixture.h"

namespace tonvera::station {
namespace {

namespace fs = std::filesystem;
using test::demoFolder;
using test::scratchFolder;

ScannedFile file(std::string rel, std::string title = "", std::vector<std::string> artists = {}, std::string album = "",
                 std::string genre = "") {
  ScannedFile f;
  f.relPath = std::move(rel);
  f.tags.title = std::move(title);
  f.tags.artists = std::move(artists);
  f.tags.album = std::move(album);
  f.tags.genre = std::move(genre);
  f.tags.durationMs = 1000;
  return f;
}

const Artist* artistNamed(const Library& lib, const std::string& name) {
  for (const auto& a : lib.artists())
    if (a.name == name) return &a;
  return nullptr;
}

TEST(StationLibrary, NamesComeFromTagsElseFromFolders) {
  auto lib =
      Library::build("/music", {file("Band/Record/03 - Song.mp3"), file("Loose/02.Another.mp3"),
                                file("top.mp3"), file("x/y/7.mp3"),
                                file("Band/Record/04 Tagged.mp3", "Real Title", {"A / B"}, "Real Album")});
  std::vector<std::string> names;
  for (const auto& t : lib->tracks()) {
    std::string artists;
    for (auto a : t.artists) artists += lib->artists()[a].name + ";";
    names.push_back(t.title + " | " + artists + " | " + lib->albums()[t.album].name);
  }
  const std::string unknown = std::string(kUnknownArtist) + ";";
  EXPECT_EQ(names,
            (std::vector<std::string>{
                "Song | Band; | Record",
                "Real Title | A / B; | Real Album",  // split when the tags are read, not here
                "Another | " + unknown + " | Loose", "top | " + unknown + " | " + std::string(kUnknownAlbum),
                "7 | x; | y"}));  // a name of digits only stays a name
}

TEST(StationLibrary, ArtistsAndAlbumsMatchIgnoringCaseAndWidth) {
  auto lib = Library::build("/m", {file("a.mp3", "1", {"Echo Park"}, "Lanterns"), file("b.mp3", "2", {"echo  park"}, "LANTERNS"),
                                   file("c.mp3", "3", {"ＥＣＨＯ ＰＡＲＫ"}, "Other")});
  EXPECT_EQ(lib->artists().size(), 1u);
  EXPECT_EQ(lib->artists()[0].name, "Echo Park");  // the first spelling met
  EXPECT_EQ(lib->albums().size(), 2u);
}

TEST(StationLibrary, EveryGenreIsAChannelTheMostPopulatedFirst) {
  // 40 genres of one to five tracks each: more than a channel wall shows at once.
  std::vector<ScannedFile> files;
  for (int g = 0; g < 40; ++g)
    for (int n = 0; n <= g % 5; ++n)
      files.push_back(file("g" + std::to_string(g) + "/" + std::to_string(n) + ".mp3", "", {"A"}, "B", "Genre" + std::to_string(g)));
  files.push_back(file("nogenre.mp3"));
  auto lib = Library::build("/m", files);
  std::vector<std::size_t> sizes;
  for (const auto& channel : lib->channels()) sizes.push_back(channel.tracks.size());
  ASSERT_EQ(sizes.size(), 41u);
  EXPECT_EQ(sizes[0], files.size());
  EXPECT_TRUE(std::is_sorted(sizes.begin() + 1, sizes.end(), std::greater<>()));
  EXPECT_EQ(sizes[1], 5u);
  EXPECT_EQ(sizes.back(), 1u);
}

// Every id, with what the index cache keeps of each track.
std::vector<std::string> summary(const Library& lib) {
  std::vector<std::string> items;
  for (const auto& t : lib.tracks())
    items.push_back(t.id + " " + t.title + " " + std::to_string(t.durationMs) + " " +
                    std::to_string(t.audioBegin));
  for (const auto& a : lib.albums()) items.push_back(a.id);
  for (const auto& a : lib.artists()) items.push_back(a.id);
  for (const auto& c : lib.channels()) items.push_back(c.id);
  return items;
}

TEST(StationLibrary, RescanKeepsIdsAndReadsOnlyChangedFiles) {
  // A copy of the demo library, so files can be changed.
  const std::string root = scratchFolder() + "/rescan";
  fs::copy(demoFolder(), root, fs::copy_options::recursive);
  const std::string index = scratchFolder() + "/index/rescan.json";

  ScanStats first;
  auto a = scanLibrary(root, index, &first);
  ASSERT_TRUE(a);
  EXPECT_EQ(first.read, first.audioFiles);

  ScanStats second;
  auto b = scanLibrary(root, index, &second);
  ASSERT_TRUE(b);
  EXPECT_EQ(second.read, 0u);
  EXPECT_EQ(summary(*a), summary(*b));

  // One file changes, one is added, a hidden one and a broken one appear.
  const Track& changed = b->tracks().front();
  const Track& mp3 = *std::find_if(b->tracks().rbegin(), b->tracks().rend(),
                                   [](const Track& t) { return t.format == AudioFormat::Mp3; });
  ASSERT_NE(&mp3, &changed);
  fs::copy_file(mp3.path, root + "/extra.mp3");
  fs::copy_file(mp3.path, root + "/.hidden.mp3");
  fs::create_directories(root + "/.cache");
  fs::copy_file(mp3.path, root + "/.cache/x.mp3");
  { std::ofstream(changed.path, std::ios::app) << "x"; }
  { std::ofstream(root + "/broken.pur") << "not a pure file"; }
  ScanStats third;
  auto c = scanLibrary(root, index, &third);
  ASSERT_TRUE(c);
  EXPECT_EQ(third.read, 3u);  // the changed, the added and the broken file
  EXPECT_EQ(third.unreadable, 1u);
  EXPECT_EQ(c->tracks().size(), b->tracks().size() + 1);
  EXPECT_TRUE(c->trackIndex(changed.id));

  // A damaged index is not fatal: everything is read again.
  { std::ofstream(index, std::ios::trunc) << "{\"version\":1,\"files\":{\"x\":"; }
  ScanStats fourth;
  ASSERT_TRUE(scanLibrary(root, index, &fourth));
  EXPECT_EQ(fourth.read, fourth.audioFiles);
}

TEST(StationLibrary, PureFilesAreServedWithTheirHeaderLength) {
  const std::string root = scratchFolder() + "/pure/Artist/Album";
  fs::create_directories(root);
  fs::copy_file(std::string(TONVERA_SHARED_DIR) + "/g719/pure/en_chord_r64.pur", root + "/01 Chord.pur");
  fs::copy_file(std::string(TONVERA_SHARED_DIR) + "/g719/pure/badversion_r64.pur", root + "/02 Bad.pur");
  ScanStats stats;
  auto lib = scanLibrary(scratchFolder() + "/pure", "", &stats);
  ASSERT_TRUE(lib);
  ASSERT_EQ(lib->tracks().size(), 1u);
  EXPECT_EQ(stats.unreadable, 1u);
  const Track& t = lib->tracks()[0];
  EXPECT_EQ(t.format, AudioFormat::Pure);
  EXPECT_EQ(t.durationMs, 2000);
  EXPECT_EQ(t.audioEnd, fs::file_size(t.path));
}

TEST(StationLibrary, SimilarArtistsShareAlbumsOrGenres) {
  auto lib = Library::build("/m", {file("1.mp3", "a", {"A", "Guest"}, "Alpha", "Pop"), file("2.mp3", "b", {"B"}, "Beta", "Pop"),
                                   file("3.mp3", "c", {"C"}, "Gamma", "Jazz"), file("4.mp3", "d", {"D"}, "Delta", "Pop")});
  const auto a = lib->artistIndex(artistNamed(*lib, "A")->id);
  std::vector<std::string> names;
  for (auto s : lib->similarArtists(*a, 10)) names.push_back(lib->artists()[s].name);
  // Guest shares the album and the genre (3 points); B and D share the genre (1 point each).
  EXPECT_EQ(names, (std::vector<std::string>{"Guest", "B", "D"}));
  EXPECT_EQ(lib->similarArtists(*a, 1).size(), 1u);
  const auto c = lib->artistIndex(artistNamed(*lib, "C")->id);
  EXPECT_TRUE(lib->similarArtists(*c, 10).empty());
}

TEST(StationLibrary, SearchMatchesSubstringsBestFirst) {
  auto lib = Library::build("/m", {file("1.mp3", "Lanterns", {"Echo Park"}, "Paper Lanterns"),
                                   file("2.mp3", "Paper Lanterns", {"Echo Park"}, "Paper Lanterns"),
                                   file("3.mp3", "夏日来信", {"林夏"}, "夏日"), file("4.mp3", "Rain", {"Nora"}, "Lanterns at Dusk"),
                                   file("5.mp3", "Other", {"Nobody"}, "None")});
  auto titles = [&](SearchKind kind, std::string q) {
    std::vector<std::string> out;
    for (auto i : searchLibrary(*lib, kind, q)) {
      if (kind == SearchKind::Tracks) out.push_back(lib->tracks()[i].title);
      if (kind == SearchKind::Artists) out.push_back(lib->artists()[i].name);
      if (kind == SearchKind::Albums) out.push_back(lib->albums()[i].name);
    }
    return out;
  };
  EXPECT_EQ(titles(SearchKind::Tracks, "LANTERNS"), (std::vector<std::string>{"Lanterns", "Paper Lanterns", "Rain"}));
  EXPECT_EQ(titles(SearchKind::Tracks, "日来"), (std::vector<std::string>{"夏日来信"}));
  EXPECT_EQ(titles(SearchKind::Tracks, "ｒａｉｎ"), (std::vector<std::string>{"Rain"}));
  EXPECT_EQ(titles(SearchKind::Artists, "夏"), (std::vector<std::string>{"林夏"}));
  EXPECT_EQ(titles(SearchKind::Artists, "park"), (std::vector<std::string>{"Echo Park"}));
  EXPECT_EQ(titles(SearchKind::Albums, "lanterns"), (std::vector<std::string>{"Lanterns at Dusk", "Paper Lanterns"}));
  EXPECT_EQ(titles(SearchKind::Artists, "").size(), lib->artists().size());
  EXPECT_TRUE(titles(SearchKind::Tracks, "zzz").empty());
}

std::shared_ptr<const Library> numbered(int count, int artists) {
  std::vector<ScannedFile> files;
  for (int i = 0; i < count; ++i)
    files.push_back(file(std::to_string(100 + i) + ".mp3", "T" + std::to_string(i), {"Artist" + std::to_string(i % artists)},
                         "Album" + std::to_string(i % artists), i % 2 ? "Pop" : "Jazz"));
  return Library::build("/m", files);
}

std::set<std::size_t> asSet(const std::vector<std::size_t>& v) { return {v.begin(), v.end()}; }

TEST(StationLibrary, ChannelQueuesAvoidThePreviousQueue) {
  QueuePicker picker(7);
  auto lib = numbered(25, 5);
  const auto first = picker.channelQueue(*lib, 0), second = picker.channelQueue(*lib, 0);
  EXPECT_EQ(asSet(first).size(), 10u);  // ten tracks, none twice
  EXPECT_EQ(second.size(), 10u);
  for (auto t : second) EXPECT_FALSE(asSet(first).count(t));
  // A channel smaller than a queue: every track, never starting where the last queue ended.
  auto small = numbered(4, 2);
  for (int round = 0; round < 20; ++round) {
    const auto before = picker.channelQueue(*small, 0), after = picker.channelQueue(*small, 0);
    EXPECT_EQ(asSet(after).size(), 4u);
    EXPECT_NE(after.front(), before.back());
  }
}

TEST(StationLibrary, PrivateQueueMixesLikedTracksArtistsAndSimilarOnes) {
  // A and B share a genre; C stands alone; D and E share another genre with nobody liked.
  std::vector<ScannedFile> files;
  for (const std::string name : {"A", "B", "C", "D", "E"}) {
    const char* genre = name == "C" ? "Rock" : name < "C" ? "Pop" : "Jazz";
    for (int n = 0; n < 5; ++n)
      files.push_back(file(name + "/" + std::to_string(n) + ".mp3", name + std::to_string(n), {name},
                           "Album " + name, genre));
  }
  auto lib = Library::build("/m", files);
  const auto likedTrack = artistNamed(*lib, "A")->tracks[0];
  QueuePicker picker(3);
  for (int round = 0; round < 5; ++round) {
    auto queue = picker.privateQueue(
        *lib, {lib->tracks()[likedTrack].id, artistNamed(*lib, "C")->id, "tnotthere", "x"});
    EXPECT_EQ(asSet(queue).size(), 10u);
    EXPECT_TRUE(asSet(queue).count(likedTrack));
    std::map<std::string, int> perArtist;
    for (auto t : queue) ++perArtist[lib->artists()[lib->tracks()[t].artists[0]].name];
    EXPECT_GE(perArtist["C"], 4);
    EXPECT_EQ(perArtist["A"] + perArtist["B"] + perArtist["C"], 10);
  }
  // Nothing known: a random queue of the whole library, never empty.
  EXPECT_EQ(picker.privateQueue(*lib, {"tnotthere"}).size(), 10u);
  auto empty = Library::build("/m", {});
  EXPECT_TRUE(picker.privateQueue(*empty, {}).empty());
  EXPECT_TRUE(picker.channelQueue(*empty, 0).empty());
}

}  // namespace
}  // namespace tonvera::station
