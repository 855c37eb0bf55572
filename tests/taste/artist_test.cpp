// The artist record and its picture lookup against a real service on 127.0.0.1.
#include <gtest/gtest.h>

#include <QImage>
#include <chrono>

#include "fake_service.h"
#include "platform/fileutil.h"
#include "platform/mainqueue.h"
#include "records/tnartist.h"
#include "service/jsonvalue.h"
#include "service/plistconvert.h"
#include "taste/tnmanager.h"
#include "temp_home.h"

namespace tonvera {
namespace {

using namespace std::chrono_literals;

Record record(std::string_view json) {
  auto value = parseJson(json);
  EXPECT_TRUE(value && value->isObject()) << json;
  return value ? toPlist(*value).dict() : Record{};
}

struct Delivery {
  int calls = 0;
  bool returned = false;
  bool beforeReturn = false;
  bool onMainThread = false;
  std::optional<QImage> picture;
  std::shared_ptr<TNArtist> artist;
};

std::shared_ptr<Delivery> lookup(const std::shared_ptr<TNArtist>& artist) {
  auto d = std::make_shared<Delivery>();
  artist->artistIdWithObject([d](std::optional<QImage> picture, std::shared_ptr<TNArtist> who) {
    ++d->calls;
    d->beforeReturn = !d->returned;
    d->onMainThread = isMainThread();
    d->picture = std::move(picture);
    d->artist = std::move(who);
  });
  d->returned = true;
  return d;
}

void settle(const std::shared_ptr<Delivery>& d) {
  ASSERT_TRUE(runMainLoopUntil([&] { return d->calls > 0; }, 10s));
  bool flushed = false;
  runOnMain([&] { flushed = true; });
  ASSERT_TRUE(runMainLoopUntil([&] { return flushed; }, 10s));
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
  EXPECT_EQ(first->calls, 1);
  EXPECT_FALSE(first->beforeReturn);
  EXPECT_TRUE(first->onMainThread);
  EXPECT_EQ(first->artist, artist);
  ASSERT_TRUE(first->picture);
  EXPECT_EQ(first->picture->size(), QSize(300, 300));
  auto bytes = readFile(cachePath("a1"));
  ASSERT_TRUE(bytes);
  QImage cached;
  ASSERT_TRUE(cached.loadFromData(QByteArray::fromStdString(*bytes), "TIFF"));
  EXPECT_EQ(cached.size(), QSize(300, 300));

  const int before = service.totalHits();
  auto second = lookup(artist);
  EXPECT_EQ(second->calls, 1);
  EXPECT_TRUE(second->beforeReturn);
  ASSERT_TRUE(second->picture);
  EXPECT_EQ(second->picture->size(), QSize(300, 300));
  EXPECT_EQ(service.totalHits(), before);
}

// (The failed downloads and damaged cache files of both picture kinds are the song lookups' tests.)
TEST_F(ArtistLookups, WithoutAnIdThereIsNothingToLookUpAndNothingIsAsked) {
  auto d = lookup(TNArtist::create(record(R"({"name":"no id"})")));
  EXPECT_EQ(d->calls, 1);
  EXPECT_TRUE(d->beforeReturn);
  EXPECT_FALSE(d->picture);
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
