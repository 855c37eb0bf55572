// The artist record and its picture lookup against a real service on 127.0.0.1.
#include <gtest/gtest.h>

#include <QImage>
#include <chrono>

#include "fake_service.h"
#include "lookups.h"
#include "platform/fileutil.h"
#include "records/tnartist.h"
#include "taste/tnmanager.h"
#include "temp_home.h"

namespace tonvera {
namespace {

using test::record;
using test::settle;

auto lookup(const std::shared_ptr<TNArtist>& artist) {
  return test::deliveryOf<std::optional<QImage>, TNArtist>(
      [&](auto deliver) { artist->artistIdWithObject(deliver); });
}

class ArtistLookups : public ::testing::Test {
 protected:
  std::string cachePath(const std::string& id) const { return home.dataHome() + "/Tonvera/artist/" + id; }

  test::TempHome home;
  test::FakeService service;
};

TEST(ArtistRecord, FieldsComeFromTheRecord) {
  auto artist = TNArtist::create(record(R"({"id":"a1","name":"名字","extra":[1,2]})"));
  EXPECT_EQ(artist->artistkId(), "a1");
  EXPECT_EQ(artist->name(), "名字");
  EXPECT_EQ(TNArtist::create(record(R"({"id":77})"))->artistkId(), "77");
  EXPECT_EQ(TNArtist::create(record(R"({"id":["a1"],"name":5})"))->artistkId(), std::nullopt);
  EXPECT_EQ(TNArtist::create(record(R"({"id":["a1"],"name":5})"))->name(), std::nullopt);
  auto empty = TNArtist::create();
  EXPECT_FALSE(empty->info() || empty->artistkId() || empty->name());
  empty->setInfo(record(R"({"id":"z"})"));
  EXPECT_EQ(empty->artistkId(), "z");
}

TEST_F(ArtistLookups, TallPictureIsSquaredCachedAsTiffAndThenAnsweredAtOnce) {
  service.servePicture("/pic/tall.jpg", test::coordinatePicture(200, 300), "JPG");
  service.servePictureInfo("/artists/a1/images", "/pic/tall.jpg");
  auto artist = TNArtist::create(record(R"({"id":"a1","name":"A"})"));

  auto first = lookup(artist);
  settle(first);
  ASSERT_EQ(first->answer(), test::kLater);
  EXPECT_EQ(first->owner, artist);
  EXPECT_EQ(first->result->size(), QSize(300, 300));
  auto bytes = readFile(cachePath("a1"));
  ASSERT_TRUE(bytes);
  QImage cached;
  ASSERT_TRUE(cached.loadFromData(QByteArray::fromStdString(*bytes), "TIFF"));
  EXPECT_EQ(cached.size(), QSize(300, 300));

  const int before = service.totalHits();
  auto second = lookup(artist);
  ASSERT_EQ(second->answer(), test::kCached);
  EXPECT_EQ(second->result->size(), QSize(300, 300));
  EXPECT_EQ(service.totalHits(), before);
}

// (The failed downloads and damaged cache files of both picture kinds are the song lookups' tests.)
TEST_F(ArtistLookups, WithoutAnIdThereIsNothingToLookUpAndNothingIsAsked) {
  EXPECT_EQ(lookup(TNArtist::create(record(R"({"name":"no id"})")))->answer(), test::kAtOnce);
  EXPECT_EQ(service.totalHits(), 0);
}

TEST_F(ArtistLookups, LoveAndHateFollowTheStoreByArtistId) {
  auto artist = TNArtist::create(record(R"({"id":"a1"})"));
  auto twin = TNArtist::create(record(R"({"id":"a1","name":"twin"})"));
  EXPECT_FALSE(TNManager::sharedManager().isLove(*artist) || TNManager::sharedManager().isHate(*artist));
  TNManager::sharedManager().likeArtist(artist, true);
  EXPECT_TRUE(TNManager::sharedManager().isLove(*twin));
  EXPECT_FALSE(TNManager::sharedManager().isHate(*twin));
  EXPECT_FALSE(TNManager::sharedManager().isLove(*TNArtist::create()));
  TNManager::sharedManager().hateArtist(twin, true);
  EXPECT_TRUE(TNManager::sharedManager().isHate(*artist));
}

}  // namespace
}  // namespace tonvera
