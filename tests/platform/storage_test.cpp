// Where the program keeps its files (the application and account folders), property-list files, and
// the user defaults stored in one.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/fileutil.h"
#include "platform/folders.h"
#include "platform/plist.h"
#include "platform/userdefaults.h"
#include "temp_home.h"

namespace tonvera {
namespace {

// The account folder under XDG_DATA_HOME is the taste store's business (its files are read there);
// without the variable the folders go under ~/.local/share.
TEST(Folders, FallBackToLocalShare) {
  test::TempHome home;
  ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(*appSupportDir(), home.path() + "/.local/share/Tonvera/");
  EXPECT_EQ(*baseDir(), home.path() + "/.local/share/Tonvera//000/");
}

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

TEST(Plist, NoneMembersAreLeftOutAndBadBytesGiveAReason) {
  PlistValue::Dict d{{"keep", "x"}, {"drop", PlistValue()}};
  auto back = PlistValue::fromBytes(PlistValue(d).toXml());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->dict().size(), 1u);
  std::string error;
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
  EXPECT_FALSE(writePlistFile(home.path() + "/no/such/folder/x.plist", PlistValue::Dict{}));
}

TEST(UserDefaults, ValuesPersistAcrossInstancesAndRegisteredOnesAreNeverWritten) {
  test::TempHome home;
  const std::string path = UserDefaults::standardPath();
  EXPECT_EQ(path, home.configHome() + "/tonvera/defaults.plist");
  {
    UserDefaults defaults(path);
    defaults.registerDefaults({{"enplay", true}, {"BNREmptyDocumentFlag", false}});
    defaults.set("kSelectStation", PlistValue::Dict{{"id", "all"}, {"name", "全部"}});
    defaults.set("count", 42);
    defaults.set("ratio", 0.5);
    EXPECT_TRUE(defaults.synchronize());
  }
  UserDefaults again(path);
  EXPECT_EQ(again.dictionaryForKey("kSelectStation").at("name").toString(), "全部");
  EXPECT_EQ(again.integerForKey("count"), 42);
  EXPECT_DOUBLE_EQ(again.doubleForKey("ratio"), 0.5);
  // Registered values were volatile: the new store does not know them.
  EXPECT_FALSE(again.object("enplay").has_value());
  EXPECT_FALSE(again.boolForKey("enplay"));
  const std::string xml = *readFile(path);
  EXPECT_EQ(xml.find("BNREmptyDocumentFlag"), std::string::npos);
  EXPECT_NE(xml.find("<key>kSelectStation</key>"), std::string::npos);
}

TEST(UserDefaults, SetOverridesRegisteredAndRemoveBringsItBack) {
  test::TempHome home;
  UserDefaults defaults(UserDefaults::standardPath());
  defaults.registerDefaults({{"enplay", false}});
  EXPECT_FALSE(defaults.boolForKey("enplay"));
  defaults.set("enplay", true);
  EXPECT_TRUE(defaults.boolForKey("enplay"));
  defaults.remove("enplay");
  EXPECT_FALSE(defaults.boolForKey("enplay"));
  EXPECT_TRUE(defaults.object("enplay").has_value());
  EXPECT_EQ(defaults.stringForKey("missing"), "");
  EXPECT_EQ(defaults.integerForKey("missing"), 0);
}

// A damaged file set aside with its bytes while the store starts empty and keeps what is set: the
// property-list fuzz corpus, replayed by the taste tests. A second damaged file keeps the first copy.
TEST(UserDefaults, ASecondDamagedFileDoesNotReplaceTheFirstCopy) {
  test::TempHome home;
  const std::string path = UserDefaults::standardPath();
  makeDirectories(std::filesystem::path(path).parent_path().string());
  const std::string garbage = "<?xml version=\"1.0\"?><plist><dict><key>a</key><string>unterminated";
  for (const std::string& damaged : {garbage, PlistValue(PlistValue::Array{"x"}).toXml()}) {
    ASSERT_TRUE(writeFileAtomically(path, damaged));
    UserDefaults store(path);
  }
  EXPECT_EQ(*readFile(path + ".corrupt"), garbage);
  int copies = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(path).parent_path())) {
    if (entry.path().filename().string().starts_with("defaults.plist.corrupt")) ++copies;
  }
  EXPECT_EQ(copies, 2);
}

}  // namespace
}  // namespace tonvera
