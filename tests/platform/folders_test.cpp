#include "platform/folders.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "temp_home.h"

namespace tonvera {
namespace {

TEST(Folders, FirstStartCreatesTheApplicationAndAccountFolders) {
  test::TempHome home;
  const std::string expectedApp = home.dataHome() + "/Tonvera/";
  ASSERT_FALSE(std::filesystem::exists(expectedApp));
  auto app = appSupportDir();
  ASSERT_TRUE(app);
  EXPECT_EQ(*app, expectedApp);
  EXPECT_TRUE(std::filesystem::is_directory(*app));
  auto base = baseDir();
  ASSERT_TRUE(base);
  EXPECT_EQ(*base, expectedApp + "/000/");  // "//" is kept as formed; it names the same folder
  EXPECT_TRUE(std::filesystem::is_directory(home.dataHome() + "/Tonvera/000"));
  EXPECT_EQ(KKAccount::sharedManager().accountId(), "000");
  EXPECT_EQ(&KKAccount::sharedManager(), &KKAccount::sharedManager());
}

TEST(Folders, FallsBackToLocalShareAndFailsCleanly) {
  test::TempHome home;
  ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(*appSupportDir(), home.path() + "/.local/share/Tonvera/");
  // A file where the folder should be: the operations answer nothing instead of failing loudly.
  ::setenv("XDG_DATA_HOME", (home.path() + "/blocked").c_str(), 1);
  test::writeTextFile(home.path() + "/blocked/Tonvera", "x");
  EXPECT_FALSE(appSupportDir());
  EXPECT_FALSE(baseDir());
}

}  // namespace
}  // namespace tonvera
