// The machine facts the start report carries.
#include "stats/machineinfo.h"

#include <gtest/gtest.h>

#include <regex>

#include "temp_home.h"

namespace tonvera {
namespace {

TEST(MachineInfo, IdentifierAndProductNameFromFilesTrimmed) {
  test::TempHome home;
  struct Case {
    const char* content;  // nullptr: no file
    const char* id;
    const char* product;
  };
  const Case cases[] = {
      {"0123456789abcdef\n", "0123456789abcdef", "0123456789abcdef"},
      {"\t ThinkPad X1 Carbon \r\n\n", "ThinkPad X1 Carbon", "ThinkPad X1 Carbon"},
      {"\n", "", "PC"},
      {nullptr, "", "PC"},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string path = home.path() + "/f" + std::to_string(n++);
    if (c.content) test::writeTextFile(path, c.content);
    EXPECT_EQ(machineIdentifier(path), c.id);
    EXPECT_EQ(productName(path), c.product);
  }
}

TEST(MachineInfo, ReportedInterfaceIsFirstNonLoopbackEthernetByName) {
  const LinkAddress lo{"lo", true, false, {0, 0, 0, 0, 0, 0}};
  const LinkAddress tun{"tun0", false, false, {}};
  const LinkAddress eth1{"eth1", false, true, {2, 2, 2, 2, 2, 2}};
  const LinkAddress eno1{"eno1", false, true, {1, 1, 1, 1, 1, 1}};
  const LinkAddress wlan{"wlan0", false, true, {3, 3, 3, 3, 3, 3}};
  const LinkAddress loopEther{"a-loop", true, true, {4, 4, 4, 4, 4, 4}};
  const std::pair<std::vector<LinkAddress>, const char*> cases[] = {
      {{}, ""}, {{lo, tun}, ""}, {{wlan, eth1, lo}, "eth1"}, {{eth1, eno1}, "eno1"}, {{loopEther, wlan}, "wlan0"},
  };
  for (const auto& [links, name] : cases) {
    const auto chosen = chooseReportedInterface(links);
    EXPECT_EQ(chosen ? chosen->name : "", name);
  }
  const std::uint8_t six[] = {0x00, 0x1a, 0x2B, 0xc3, 0xFF, 0x09};
  EXPECT_EQ(macText(six, 6), "00:1A:2B:C3:FF:09");
  EXPECT_EQ(macText(six, 0), "");
  EXPECT_TRUE(std::regex_match(macAddressText(), std::regex("^$|^[0-9A-F]{2}(:[0-9A-F]{2})*$")))
      << macAddressText();
  // The tests run a core application object: no screen.
  EXPECT_EQ(screenResolutionText(), "0*0");
  EXPECT_TRUE(std::regex_match(buildVersionCode(), std::regex("^[0-9]{10}$"))) << buildVersionCode();
}

}  // namespace
}  // namespace tonvera
