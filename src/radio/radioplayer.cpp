#include "radio/radioplayer.h"

#include <cctype>

namespace tonvera {

bool isFileUrl(const std::string& url) {
  static constexpr const char kScheme[] = "file:";
  if (url.size() < sizeof kScheme - 1) return false;
  for (std::size_t i = 0; i + 1 < sizeof kScheme; ++i) {
    if (std::tolower(static_cast<unsigned char>(url[i])) != kScheme[i]) return false;
  }
  return true;
}

}  // namespace tonvera
