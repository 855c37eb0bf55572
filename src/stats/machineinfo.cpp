#include "stats/machineinfo.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <sys/socket.h>

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cstdio>

#include "platform/fileutil.h"

namespace tonvera {

std::string trimmed(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r\n\v\f";
  const auto first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(kSpace);
  return std::string(text.substr(first, last - first + 1));
}

std::string machineIdentifier(const std::string& path) {
  const auto text = readFile(path);
  return text ? trimmed(*text) : std::string();
}

std::string productName(const std::string& path) {
  const auto text = readFile(path);
  std::string name = text ? trimmed(*text) : std::string();
  return name.empty() ? std::string("PC") : name;
}

std::string macText(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(bytes[i]));
    if (i > 0) text += ':';
    text += hex;
  }
  return text;
}

std::optional<LinkAddress> chooseReportedInterface(std::vector<LinkAddress> links) {
  std::stable_sort(links.begin(), links.end(),
                   [](const LinkAddress& a, const LinkAddress& b) { return a.name < b.name; });
  for (auto& link : links) {
    if (!link.loopback && link.ethernet) return std::move(link);
  }
  return std::nullopt;
}

std::string macAddressText() {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return {};
  std::vector<LinkAddress> links;
  for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_PACKET || !entry->ifa_name) continue;
    const auto* ll = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
    LinkAddress link;
    link.name = entry->ifa_name;
    link.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0 || ll->sll_hatype == ARPHRD_LOOPBACK;
    link.ethernet = ll->sll_hatype == ARPHRD_ETHER;
    const std::size_t count = std::min<std::size_t>(ll->sll_halen, sizeof ll->sll_addr);
    link.bytes.assign(ll->sll_addr, ll->sll_addr + count);
    links.push_back(std::move(link));
  }
  ::freeifaddrs(list);
  const auto chosen = chooseReportedInterface(std::move(links));
  return chosen ? macText(chosen->bytes.data(), chosen->bytes.size()) : std::string();
}

std::string screenResolutionText() {
  double width = 0;
  double height = 0;
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      const QRect frame = screen->geometry();
      width = frame.width();
      height = frame.height();
    }
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.0f*%.0f", width, height);
  return text;
}

}  // namespace tonvera
