// The track and artist records: derived values, the record request, and the lookups against a real
// service on 127.0.0.1 (pictures made here, cached under a temporary HOME).
#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <filesystem>
#include <tuple>

#include "../../taste/lookups.h"
#include "fake_service.h"
#include "platform/fileutil.h"
#include "records/tnartist.h"
#include "records/tnsong.h"
#include "temp_home.h"

namespace tonvera {
namespace {

using test::filesIn;
using test::kAtOnce;
using test::kCached;
using test::kLater;
using test::kNothingLater;
using test::record;
using test::settle;
using Picture = std::optional<QImage>;

auto albumLookup(const std::shared_ptr<TNSong>& song) {
  return test::deliveryOf<Picture, TNSong>([&](auto deliver) { song->albumId(deliver); });
}
auto artistLookup(const std::shared_ptr<TNSong>& song, int index) {
  return test::deliveryOf<Picture, TNSong>([&](auto deliver) { song->artistId(index, deliver); });
}
auto lyricsLookup(const std::shared_ptr<TNSong>& song, int which) {
  return test::deliveryOf<std::optional<std::string>, TNSong>(
      [&](auto deliver) { song->lrc(which, deliver); });
}

class SongLookups : public ::testing::Test {
 protected:
  std::string albumFolder() const { return home.dataHome() + "/Tonvera/album"; }
  std::string artistFolder() const { return home.dataHome() + "/Tonvera/artist"; }

  test::TempHome home;
  test::FakeService service;
};

TEST(SongRecord, ArtistNamesSkipArtistsWithoutName) {
  const struct {
    const char* json;
    const char* names;
  } cases[] = {
      {R"({"artist":[{"name":"A"},{"id":"7"}]})", "A "},
      {R"({"artist":[{"name":"A","id":"1"},{"name":"B","id":"2"}]})", "A B "},
      {R"({"artist":"A"})", ""},
      {R"({"artist":[1,"x",{"name":"C"},{"name":null}]})", "C "},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TNSong::create(record(c.json))->Artist(), c.names) << c.json;
  }
  EXPECT_EQ(TNSong::create()->Artist(), "");
}

TEST(SongRecord, FirstArtistIsOneObjectPointedAtTheFirstElement) {
  auto song = TNSong::create(record(R"({"artist":[{"name":"A"},{"id":"7"}]})"));
  auto first = song->firstArtist();
  EXPECT_EQ(first->name(), "A");
  EXPECT_EQ(first->artistkId(), std::nullopt);

  song->setInfo(record(R"({"artist":[{"name":"B","id":"9"}]})"));
  EXPECT_EQ(song->firstArtist(), first);
  EXPECT_EQ(first->artistkId(), "9");

  song->setInfo(record(R"({"artist":[]})"));
  EXPECT_EQ(song->firstArtist(), first);
  EXPECT_FALSE(first->info());
}

TEST(ArtistRecord, FieldsReadTheRecordAndGiveNothingForWrongTypes) {
  EXPECT_EQ(TNArtist::create(record(R"({"id":77,"name":"名字","extra":[1,2]})"))->artistkId(), "77");
  auto wrongTypes = TNArtist::create(record(R"({"id":["a1"],"name":5})"));
  EXPECT_FALSE(wrongTypes->artistkId() || wrongTypes->name());
  auto empty = TNArtist::create();
  EXPECT_FALSE(empty->info() || empty->artistkId() || empty->name());
}

TEST(SongRecord, DerivedValuesReadTheRecordAndGiveNothingForWrongTypes) {
  const struct {
    const char* json;
    std::optional<std::string> id, name, url, album, albumId;
  } cases[] = {
      {R"({"id":"t1","name":"N","url":["u1","u2"],"album":{"name":"Al","id":"12345"}})", "t1", "N", "u1",
       "Al", "12345"},
      {R"({"url":"u1","album":"Al"})", {}, {}, {}, {}, {}},
      {R"({"url":[],"album":{"id":987654}})", {}, {}, {}, {}, "987654"},
      {R"({"id":42,"name":7,"url":[3]})", "42", {}, {}, {}, {}},
  };
  const auto derived = [](const std::shared_ptr<TNSong>& s) {
    return std::make_tuple(s->trackId(), s->nameStr(), s->url(), s->album(), s->albumId());
  };
  for (const auto& c : cases)
    EXPECT_EQ(derived(TNSong::create(record(c.json))), std::tie(c.id, c.name, c.url, c.album, c.albumId))
        << c.json;
  auto empty = TNSong::create();
  EXPECT_FALSE(empty->songInfo());
  EXPECT_EQ(derived(empty), decltype(derived(empty)){});
}

TEST_F(SongLookups, RecordRequestTakesObjectsOnlyAndDropsNulls) {
  service.serve("/tracks/t1/play.json",
                R"({"id":"t1","name":"歌","lyric":null,"artist":[{"name":"A","id":null}]})");
  service.serve("/tracks/t2/play.json", R"(["t2"])");
  auto song = TNSong::create();

  auto got = song->apcall("t1");
  ASSERT_TRUE(got);
  EXPECT_EQ(*got, record(R"({"id":"t1","name":"歌","artist":[{"name":"A"}]})"));
  EXPECT_EQ(song->songInfo(), got);

  EXPECT_FALSE(song->apcall("t2"));       // an array is no record
  EXPECT_FALSE(song->apcall("missing"));  // 404
  EXPECT_EQ(song->trackId(), "t1");       // left as it was
}

// A lookup whose record lacks what it needs (an album id of five characters or more, the artist at
// the index, the lyrics entry with a URL, an artist's id) answers nothing at once, without a request.
TEST_F(SongLookups, LookupsWithoutTheirIdAnswerNothingAtOnce) {
  const struct {
    const char* lookup;
    const char* json;
    int index;
  } cases[] = {
      {"album", R"({"album":{"id":"1234"}})", 0},
      {"album", R"({"album":"12345"})", 0},
      {"artist", R"({"artist":[{"id":"a1"}]})", 1},
      {"artist", R"({"artist":[{"id":"a1"}]})", -1},
      {"artist", R"({"artist":["a1"]})", 0},
      {"artist", R"({"artist":[{"name":"A"}]})", 0},
      {"artist", R"({"artist":{"id":"a1"}})", 0},
      {"lrc", R"({"lrc":[["a","b","http://127.0.0.1:1/x.lrc"]]})", 1},
      {"lrc", R"({"lrc":[["a","b"]]})", 0},
      {"lrc", R"({"lrc":[["a","b",5]]})", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.lookup) + " " + c.json);
    auto song = TNSong::create(record(c.json));
    const std::string lookup = c.lookup;
    EXPECT_EQ(lookup == "album"    ? albumLookup(song)->answer()
              : lookup == "artist" ? artistLookup(song, c.index)->answer()
                                   : lyricsLookup(song, c.index)->answer(),
              kAtOnce);
  }
  auto nameless = TNArtist::create(record(R"({"name":"no id"})"));
  const auto artistPicture = [&](auto deliver) { nameless->artistIdWithObject(deliver); };
  EXPECT_EQ((test::deliveryOf<Picture, TNArtist>(artistPicture)->answer()), kAtOnce);
  EXPECT_EQ(service.totalHits(), 0);
}

// The album's picture is cached as the bytes downloaded, the artist's squared and as TIFF; a second
// lookup answers from the cache without a request.
TEST_F(SongLookups, PicturesAreCachedThenAnsweredFromTheCache) {
  const std::string jpeg = service.servePicture("/pic/a.jpg", test::coordinatePicture(64, 48), "JPG");
  service.servePictureInfo("/albums/12345/images.json", "/pic/a.jpg");
  service.servePicture("/pic/artist.png", test::coordinatePicture(300, 200));
  service.servePictureInfo("/artists/a9/images", "/pic/artist.png");
  auto song = TNSong::create(
      record(R"({"album":{"id":"12345","name":"Al"},"artist":[{"id":"a0"},{"id":"a9","name":"X"}]})"));
  for (const bool album : {true, false}) {
    SCOPED_TRACE(album ? "album" : "artist");
    const auto lookup = [&] { return album ? albumLookup(song) : artistLookup(song, 1); };
    const QSize size = album ? QSize(64, 48) : QSize(300, 300);
    auto first = lookup();
    settle(first);
    ASSERT_EQ(first->answer(), kLater);
    EXPECT_EQ(first->result->size(), size);
    const int before = service.totalHits();
    auto second = lookup();
    ASSERT_EQ(second->answer(), kCached);
    EXPECT_EQ(second->result->size(), size);
    EXPECT_EQ(service.totalHits(), before);
  }
  EXPECT_EQ(readFile(albumFolder() + "/12345"), jpeg);
  EXPECT_EQ(filesIn(albumFolder()), std::vector<std::string>{"12345"});  // no temporary file left
  QImage fromDisk;
  ASSERT_TRUE(fromDisk.load(QString::fromStdString(artistFolder() + "/a9"), "TIFF"));
  EXPECT_EQ(fromDisk.size(), QSize(300, 300));
}

TEST_F(SongLookups, UndecodableCacheFileIsDownloadedAgainAndReplacedByRename) {
  const std::string png = service.servePicture("/pic/a.png", test::coordinatePicture(20, 10));
  service.servePictureInfo("/albums/55555/images.json", "/pic/a.png");
  test::writeTextFile(albumFolder() + "/55555", "not a picture");
  // A second name of the damaged file: a replacement by rename leaves it alone, an in-place
  // rewrite would show through it.
  ASSERT_EQ(::link((albumFolder() + "/55555").c_str(), (home.path() + "/old-link").c_str()), 0);

  auto d = albumLookup(TNSong::create(record(R"({"album":{"id":"55555"}})")));
  settle(d);
  EXPECT_EQ(d->answer(), kLater);
  EXPECT_EQ(readFile(albumFolder() + "/55555"), png);
  EXPECT_EQ(readFile(home.path() + "/old-link"), "not a picture");
  EXPECT_EQ(filesIn(albumFolder()), std::vector<std::string>{"55555"});
}

TEST_F(SongLookups, FailedAlbumDownloadAnswersNothingOnceOnTheMainThread) {
  service.serve("/pic/text", "plain words, no picture", "text/plain");
  service.serve("/albums/20001/images.json", R"({"x":1})");
  service.serve("/albums/20002/images.json", R"(["h"])");
  service.servePictureInfo("/albums/20003/images.json", "/pic/gone.png");
  service.servePictureInfo("/albums/20004/images.json", "/pic/text");
  for (const char* id : {"20000", "20001", "20002", "20003", "20004"}) {
    SCOPED_TRACE(id);
    auto d = albumLookup(TNSong::create(record(std::string(R"({"album":{"id":")") + id + "\"}}")));
    settle(d);
    EXPECT_EQ(d->answer(), kNothingLater);
    EXPECT_FALSE(std::filesystem::exists(albumFolder() + "/" + id));
  }
}

TEST_F(SongLookups, LyricsComeFromTheChosenEntryOnTheMainThread) {
  const std::string first = "[00:01.00]第一行\n";
  const std::string second = "[00:02.00]second\n";
  service.serve("/lrc/1.lrc", first, "text/plain");
  service.serve("/lrc/2.lrc", second, "text/plain");
  service.serve("/lrc/latin1.lrc", "caf\xe9\n", "text/plain");
  const std::string both = R"({"lrc":[["a","b",")" + service.url("/lrc/1.lrc") + R"("],["a","b",")" +
                           service.url("/lrc/2.lrc") + R"("]]})";
  auto song = TNSong::create(record(both));

  const struct {
    int which;
    std::optional<std::string> text;
  } cases[] = {{0, first}, {1, second}, {7, second}, {-1, second}};
  for (const auto& c : cases) {
    auto d = lyricsLookup(song, c.which);
    settle(d);
    EXPECT_EQ(d->answer(), kLater);
    EXPECT_EQ(d->result, c.text) << c.which;
    EXPECT_EQ(d->owner, song);
  }
  EXPECT_EQ(service.hits("/lrc/2.lrc"), 3);  // not cached: one request per lookup

  for (const char* path : {"/lrc/latin1.lrc", "/lrc/missing.lrc"}) {
    auto bad = TNSong::create(record(R"({"lrc":[["a","b",")" + service.url(path) + R"("]]})"));
    auto d = lyricsLookup(bad, 0);
    settle(d);
    EXPECT_EQ(d->answer(), kNothingLater) << path;
  }
}

}  // namespace
}  // namespace tonvera
