#include <gtest/gtest.h>

#include <filesystem>

#include "platform/fileutil.h"
#include "platform/userdefaults.h"
#include "temp_home.h"

namespace tonvera {
namespace {

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
    defaults.set("blob", PlistValue::Data{0, 1, 2, 255});
    defaults.set("list", PlistValue::Array{"a", 1, true});
    EXPECT_TRUE(defaults.synchronize());
  }
  UserDefaults again(path);
  EXPECT_EQ(again.dictionaryForKey("kSelectStation").at("name").toString(), "全部");
  EXPECT_EQ(again.integerForKey("count"), 42);
  EXPECT_DOUBLE_EQ(again.doubleForKey("ratio"), 0.5);
  EXPECT_EQ(again.object("blob")->data(), (PlistValue::Data{0, 1, 2, 255}));
  EXPECT_EQ(again.arrayForKey("list").size(), 3u);
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

TEST(UserDefaults, CorruptFileIsKeptAsideAndNotOverwritten) {
  test::TempHome home;
  const std::string path = UserDefaults::standardPath();
  makeDirectories(std::filesystem::path(path).parent_path().string());
  const std::string garbage = "<?xml version=\"1.0\"?><plist><dict><key>a</key><string>unterminated";
  ASSERT_TRUE(writeFileAtomically(path, garbage));
  {
    UserDefaults defaults(path);  // must not crash
    EXPECT_FALSE(defaults.object("a").has_value());
    defaults.set("enplay", true);
  }
  EXPECT_EQ(*readFile(path + ".corrupt"), garbage);
  EXPECT_TRUE(UserDefaults(path).boolForKey("enplay"));

  // A second damaged file (a list where the table of values belongs) does not replace the first copy.
  ASSERT_TRUE(writeFileAtomically(path, PlistValue(PlistValue::Array{"x"}).toXml()));
  UserDefaults third(path);
  EXPECT_EQ(*readFile(path + ".corrupt"), garbage);
  int copies = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(path).parent_path())) {
    if (entry.path().filename().string().starts_with("defaults.plist.corrupt")) ++copies;
  }
  EXPECT_EQ(copies, 2);
}

}  // namespace
}  // namespace tonvera
