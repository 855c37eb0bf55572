// The taste store: toggles in memory and on disk, the four files, restart, damaged files kept aside,
// and the private-channel ids. Every test meets a fresh store, as a new run would.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "fake_service.h"
#include "lookups.h"
#include "platform/fileutil.h"
#include "platform/notificationcenter.h"
#include "platform/plist.h"
#include "plist_fuzz_entry.h"
#include "records/tnartist.h"
#include "records/tnsong.h"
#include "shared_state.h"
#include "taste/tnmanager.h"
#include "temp_home.h"

namespace tonvera {
namespace {

namespace fs = std::filesystem;

using test::plist;
using test::record;
std::shared_ptr<TNSong> song(const std::string& id, const std::string& name = "song") {
  return TNSong::create(
      record(R"({"id":")" + id + R"(","name":")" + name + R"(","url":["http://x/)" + id +
             R"(.mp3"],"artist":[{"id":"a","name":"A"}],"album":{"id":"12345"},"n":1.5,"ok":true})"));
}

std::shared_ptr<TNArtist> artist(const std::string& id) {
  return TNArtist::create(record(R"({"id":")" + id + R"(","name":"artist )" + id + R"("})"));
}

std::string idOf(const std::shared_ptr<TNSong>& s) { return s->trackId().value_or("?"); }
std::string idOf(const std::shared_ptr<TNArtist>& a) { return a->artistkId().value_or("?"); }
template <typename List>
std::vector<std::string> idsOf(const List& list) {
  std::vector<std::string> ids;
  for (const auto& entry : list) ids.push_back(idOf(entry));
  return ids;
}

std::vector<std::string> sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

class TasteStore : public ::testing::Test {
 protected:
  void SetUp() override { test::forgetTasteStore(); }
  void TearDown() override { test::forgetTasteStore(); }

  std::string folder() const { return home.dataHome() + "/Tonvera/000/"; }
  std::string file(const char* name) const { return folder() + name; }

  // The root dictionary of a taste file; fails the test when the file is not one.
  PlistValue::Dict fileDict(const char* name) const {
    const auto bytes = readFile(file(name));
    EXPECT_TRUE(bytes) << name;
    if (!bytes) return {};
    EXPECT_TRUE(bytes->starts_with("<?xml")) << *bytes;
    auto value = PlistValue::fromBytes(*bytes);
    EXPECT_TRUE(value && value->isDict()) << *bytes;
    return value && value->isDict() ? value->dict() : PlistValue::Dict{};
  }

  std::vector<std::string> fileKeys(const char* name) const {
    std::vector<std::string> keys;
    for (const auto& [key, value] : fileDict(name)) keys.push_back(key);
    return keys;
  }

  std::vector<std::string> asideFiles(const char* name) const {
    std::vector<std::string> found;
    for (const auto& n : test::filesIn(folder()))
      if (n.starts_with(std::string(name) + ".corrupt")) found.push_back(folder() + n);
    return found;
  }

  test::TempHome home;
  TNManager& store = TNManager::sharedManager();
};

// One id in all four lists (a song's and an artist's): four entries, each in its own list and file,
// each change announced for the pages that show it.
TEST_F(TasteStore, EachListTogglesItsOwnFile) {
  const auto s = song("x1");
  const auto a = artist("x1");
  const struct {
    const char* fileName;
    const char* notice;
    std::function<void(bool)> toggle;
    std::function<std::vector<std::string>()> listIds;
  } cases[] = {
      {TNManager::kLoveFileName, "likeSong", [&](bool y) { store.likeSong(s, y); },
       [&] { return idsOf(store.likeSongs()); }},
      {TNManager::kDisLoveFileName, "hateSong", [&](bool y) { store.hateSong(s, y); },
       [&] { return idsOf(store.hateSongs()); }},
      {TNManager::kLoveArtistsFileName, "likeArtist", [&](bool y) { store.likeArtist(a, y); },
       [&] { return idsOf(store.likeArtists()); }},
      {TNManager::kDisLoveArtistsFileName, "hateArtist", [&](bool y) { store.hateArtist(a, y); },
       [&] { return idsOf(store.hateArtists()); }},
  };
  std::vector<std::string> posted;
  std::vector<ScopedObserver> observers;
  for (const auto& c : cases) {
    observers.emplace_back(NotificationCenter::defaultCenter(), c.notice, nullptr,
                           [&posted, n = c.notice](const Notification&) { posted.push_back(n); });
  }
  for (const auto& c : cases) c.toggle(true);
  EXPECT_EQ(posted, (std::vector<std::string>{"likeSong", "hateSong", "likeArtist", "hateArtist"}));
  for (const auto& c : cases) {
    EXPECT_EQ(c.listIds(), std::vector<std::string>{"x1"}) << c.fileName;
    EXPECT_EQ(fileKeys(c.fileName), std::vector<std::string>{"x1"}) << c.fileName;
  }
  EXPECT_TRUE(store.isLove(*s) && store.isHate(*s));
  EXPECT_TRUE(store.isLove(*artist("x1")) && store.isHate(*artist("x1")));  // another object, the same id
  EXPECT_FALSE(store.isLove(*TNArtist::create()) || store.isHate(*TNArtist::create()));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fileName);
    c.toggle(true);  // the like button is a toggle
    EXPECT_TRUE(c.listIds().empty());
    EXPECT_TRUE(fileKeys(c.fileName).empty());
    c.toggle(true);
    c.toggle(false);  // removal
    EXPECT_TRUE(c.listIds().empty());
    EXPECT_TRUE(fileKeys(c.fileName).empty());
  }
  // Nothing crossed over (a removal would have let a later toggle add): no other file appeared.
  EXPECT_EQ(test::filesIn(folder()), sorted({"LoveFile.plst", "disLoveFile.plist", "LoveArtistsFileName.plst",
                                             "disLoveArtistsFileName.plist"}));
}

TEST_F(TasteStore, AnotherObjectWithTheSameIdCountsAsTheSameEntry) {
  auto stored = song("t1", "first");
  auto twin = song("t1", "second");
  store.likeSong(stored, true);
  store.likeSong(song("t2"), true);
  EXPECT_EQ(store.likeSongs().front(), stored);  // the object itself
  EXPECT_EQ(fileDict(TNManager::kLoveFileName).at("t1"),
            PlistValue(*stored->songInfo()));  // the whole record
  EXPECT_TRUE(store.isLove(*twin));
  store.likeSong(twin, true);
  EXPECT_EQ(idsOf(store.likeSongs()), std::vector<std::string>{"t2"});
  EXPECT_EQ(fileKeys(TNManager::kLoveFileName), std::vector<std::string>{"t2"});

  auto a = artist("r1");
  store.likeArtist(a, true);
  store.likeArtist(artist("r1"), false);
  EXPECT_TRUE(store.likeArtists().empty());
  EXPECT_TRUE(fileKeys(TNManager::kLoveArtistsFileName).empty());
}

TEST_F(TasteStore, RemovingAnEntryTheListDoesNotHoldTogglesOnlyTheFile) {
  store.likeSong(song("t1"), true);
  store.likeSong(song("t9"), false);
  EXPECT_EQ(idsOf(store.likeSongs()), std::vector<std::string>{"t1"});
  EXPECT_EQ(fileKeys(TNManager::kLoveFileName), (std::vector<std::string>{"t1", "t9"}));
}

TEST_F(TasteStore, RecordWithoutIdChangesTheListOnly) {
  auto nameless = TNSong::create(record(R"({"name":"no id"})"));
  store.likeSong(nameless, true);
  EXPECT_EQ(store.likeSongs().size(), 1u);
  EXPECT_FALSE(fs::exists(file(TNManager::kLoveFileName)));
  store.likeSong(nameless, false);
  EXPECT_TRUE(store.likeSongs().empty());
  store.writeInfo(std::nullopt, true);
  EXPECT_FALSE(fs::exists(file(TNManager::kLoveFileName)));
}

TEST_F(TasteStore, RecordThatHeldJsonNullsIsStillWritten) {
  test::FakeService service;
  service.serve("/tracks/t7/play.json",
                R"({"id":"t7","name":"N","lrc":null,"album":{"id":"12345","pic":null},"tags":[null,"x"]})");
  auto s = TNSong::create();
  ASSERT_TRUE(s->apcall("t7"));
  store.likeSong(s, true);
  const auto dict = fileDict(TNManager::kLoveFileName);
  ASSERT_EQ(dict.count("t7"), 1u);
  EXPECT_EQ(dict.at("t7"), plist(R"({"id":"t7","name":"N","album":{"id":"12345"},"tags":["","x"]})"));

  // A record given directly with an empty member is written without that member.
  Record withNone = record(R"({"id":"t8"})");
  withNone["empty"] = PlistValue();
  store.writeInfo(withNone, true);
  EXPECT_EQ(fileDict(TNManager::kLoveFileName).at("t8"), plist(R"({"id":"t8"})"));

  const auto reread = store.genSongsLove(true);
  EXPECT_EQ(sorted(idsOf(reread)), (std::vector<std::string>{"t7", "t8"}));
}

// Both damaged shapes (a root that is an array, bytes that are no property list) are set aside at the
// next change with one log line naming the copy; the fuzz corpus below holds every other kind.
TEST_F(TasteStore, DamagedFilesAreKeptAsideWithOneLogLineEach) {
  const std::pair<const char*, std::string> cases[] = {
      {TNManager::kLoveFileName,
       PlistValue(PlistValue::Array{PlistValue(record(R"({"id":"old"})"))}).toXml()},
      {TNManager::kDisLoveArtistsFileName, "<?xml version=\"1.0\"?><plist><dict><key>x</key>"},
  };
  for (const auto& [name, bytes] : cases) test::writeTextFile(file(name), bytes);
  EXPECT_TRUE(store.hateArtists().empty());
  testing::internal::CaptureStderr();
  store.likeSong(song("t1"), true);
  store.hateArtist(artist("r1"), true);
  const std::string logged = testing::internal::GetCapturedStderr();
  for (const auto& [name, bytes] : cases) {
    const auto aside = asideFiles(name);
    ASSERT_EQ(aside.size(), 1u) << name;
    EXPECT_EQ(readFile(aside.front()), bytes);
    EXPECT_NE(logged.find(fs::path(aside.front()).filename().string()), std::string::npos) << logged;
  }
  EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), 2) << logged;
}

TEST_F(TasteStore, WithoutAnAccountFolderChangesLastForTheRunOnly) {
  test::writeTextFile(home.dataHome() + "/Tonvera", "a file where the folder should be");
  store.likeSong(song("t1"), true);
  store.likeArtist(artist("r1"), true);
  EXPECT_EQ(store.allLikeSongAndArtistId(), (std::vector<std::string>{"t1", "r1"}));
  EXPECT_TRUE(store.genSongsLove(true).empty());
}

TEST_F(TasteStore, FreshStoreReadsTheSameEntries) {
  for (const char* id : {"t1", "t2", "t3"}) store.likeSong(song(id), true);
  store.likeSong(song("t2"), true);  // toggled off again
  store.hateSong(song("h1"), true);
  store.likeArtist(artist("r1"), true);
  store.likeArtist(artist("r2"), true);
  store.hateArtist(artist("x1"), true);

  test::forgetTasteStore();
  EXPECT_EQ(sorted(idsOf(store.likeSongs())), (std::vector<std::string>{"t1", "t3"}));
  EXPECT_EQ(idsOf(store.hateSongs()), std::vector<std::string>{"h1"});
  EXPECT_EQ(sorted(idsOf(store.likeArtists())), (std::vector<std::string>{"r1", "r2"}));
  EXPECT_EQ(idsOf(store.hateArtists()), std::vector<std::string>{"x1"});
  EXPECT_EQ(store.likeSongs().front()->nameStr(), "song");

  // Nothing of the earlier run is kept in memory: with the files gone, every list starts empty.
  fs::remove_all(folder());
  test::forgetTasteStore();
  EXPECT_TRUE(store.likeSongs().empty() && store.hateSongs().empty() && store.likeArtists().empty() &&
              store.hateArtists().empty());
}

TEST_F(TasteStore, FuzzCorpusReplays) {
  EXPECT_GE(test::replayCorpus(std::string(TONVERA_SOURCE_DIR) + "/fuzz/plist/corpus", plistFuzzOne), 10);
}

}  // namespace
}  // namespace tonvera
