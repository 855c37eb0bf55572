// The artist record and its picture lookup without an id.
#include <gtest/gtest.h>

#include <QImage>

#include "fake_service.h"
#include "lookups.h"
#include "records/tnartist.h"

namespace tonvera {
namespace {

using test::record;

auto lookup(const std::shared_ptr<TNArtist>& artist) {
  return test::deliveryOf<std::optional<QImage>, TNArtist>(
      [&](auto deliver) { artist->artistIdWithObject(deliver); });
}

TEST(ArtistRecord, FieldsComeFromTheRecord) {
  auto artist = TNArtist::create(record(R"({"id":"a1","name":"名字","extra":[1,2]})"));
  EXPECT_EQ(artist->artistkId(), "a1");
  EXPECT_EQ(artist->name(), "名字");
  EXPECT_EQ(TNArtist::create(record(R"({"id":77})"))->artistkId(), "77");
  auto wrongTypes = TNArtist::create(record(R"({"id":["a1"],"name":5})"));
  EXPECT_FALSE(wrongTypes->artistkId() || wrongTypes->name());
  auto empty = TNArtist::create();
  EXPECT_FALSE(empty->info() || empty->artistkId() || empty->name());
  empty->setInfo(record(R"({"id":"z"})"));
  EXPECT_EQ(empty->artistkId(), "z");
}

// (Downloads, the cache and damaged cache files are the song lookups' tests; the favourites page
// looks up artists' pictures, cached and failing.)
TEST(ArtistLookups, WithoutAnIdThereIsNothingToLookUpAndNothingIsAsked) {
  test::FakeService service;
  EXPECT_EQ(lookup(TNArtist::create(record(R"({"name":"no id"})")))->answer(), test::kAtOnce);
  EXPECT_EQ(service.totalHits(), 0);
}

}  // namespace
}  // namespace tonvera
