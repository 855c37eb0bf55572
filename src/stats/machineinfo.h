#pragma once
// Facts about this machine and build that the usage reports carry: a stable machine identifier,
// the link-layer address of the first Ethernet-type interface, the product name, the screen size
// and the build's version code.
// Threads: machineIdentifier, macAddressText, productName, versionCode and the pure helpers may be
// called from any thread; screenResolutionText only from the main thread.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tonvera {

// Text with leading and trailing white space (spaces, tabs, line ends) removed.
std::string trimmed(std::string_view text);

// The trimmed text of the machine-id file; empty when it cannot be read. No command is run.
std::string machineIdentifier(const std::string& path = "/etc/machine-id");

// The trimmed product name of the machine, or "PC" when it cannot be read or is empty.
std::string productName(const std::string& path = "/sys/class/dmi/id/product_name");

// Bytes as two upper-case hexadecimal digits each, joined by ":" (six bytes give 17 characters);
// empty text for no bytes.
std::string macText(const std::uint8_t* bytes, std::size_t count);

// One link-layer entry of the interface list, as far as the choice below needs it.
struct LinkAddress {
  std::string name;
  bool loopback = false;
  bool ethernet = false;  // hardware type Ethernet
  std::vector<std::uint8_t> bytes;
};

// The entry whose address the reports carry: the first non-loopback Ethernet-type interface in name
// order. Nothing when there is none.
std::optional<LinkAddress> chooseReportedInterface(std::vector<LinkAddress> links);

// macText of the chosen interface of this machine's interface list; empty text when there is none or
// the list cannot be read.
std::string macAddressText();

// The primary screen's width and height, each rounded to a whole number, as "%.0f*%.0f"; "0*0" when
// no GUI application object with a screen exists (command-line tools, tests).
std::string screenResolutionText();

// The build's date and time as "yyMMddHHmm" (ten digits), fixed when the build is configured.
std::string buildVersionCode();

}  // namespace tonvera
