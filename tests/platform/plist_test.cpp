#include <gtest/gtest.h>

#include "platform/fileutil.h"
#include "platform/plist.h"
#include "temp_home.h"

namespace tonvera {
namespace {

TEST(Plist, RoundTripsEveryTypeThroughXml) {
  PlistValue::Dict record{{"id", "1001"},
                          {"name", "晴天 \"quoted\" & <tag>"},
                          {"count", -5},
                          {"big", 1ll << 40},
                          {"ratio", 0.25},
                          {"yes", true},
                          {"bytes", PlistValue::Data{0, 10, 200}},
                          {"artist", PlistValue::Array{PlistValue::Dict{{"id", "7"}, {"name", "A"}}}},
                          {"empty", PlistValue::Dict{}}};
  const std::string xml = PlistValue(record).toXml();
  EXPECT_NE(xml.find("<!DOCTYPE plist"), std::string::npos);
  auto back = PlistValue::fromBytes(xml);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(*back, PlistValue(record));
}

TEST(Plist, NoneMembersAreLeftOutAndBadBytesAreRefused) {
  PlistValue::Dict d{{"keep", "x"}, {"drop", PlistValue()}};
  auto back = PlistValue::fromBytes(PlistValue(d).toXml());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->dict().size(), 1u);
  std::string error;
  EXPECT_FALSE(PlistValue::fromBytes("", &error));
  EXPECT_FALSE(PlistValue::fromBytes("garbage", &error));
  EXPECT_FALSE(error.empty());
}

TEST(Plist, FilesAreWrittenAtomicallyAndStatusIsReported) {
  test::TempHome home;
  const std::string path = home.path() + "/a.plist";
  EXPECT_EQ(readPlistFile(path).status, PlistFileRead::Status::Missing);
  ASSERT_TRUE(writePlistFile(path, PlistValue::Dict{{"k", 1}}));
  auto read = readPlistFile(path);
  ASSERT_EQ(read.status, PlistFileRead::Status::Ok);
  EXPECT_EQ(read.value.find("k")->toInteger(), 1);
  ASSERT_TRUE(writeFileAtomically(path, "<plist><dict><key>"));
  EXPECT_EQ(readPlistFile(path).status, PlistFileRead::Status::Corrupt);
  EXPECT_FALSE(writePlistFile(home.path() + "/no/such/folder/x.plist", PlistValue::Dict{}));
}

}  // namespace
}  // namespace tonvera
