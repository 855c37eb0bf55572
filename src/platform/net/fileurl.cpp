#include "platform/net/fileurl.h"

namespace tonvera {

bool isFileUrl(std::string_view url) {
  static constexpr std::string_view kScheme = "file:";
  if (url.size() < kScheme.size()) return false;
  for (std::size_t i = 0; i < kScheme.size(); ++i) {
    char c = url[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kScheme[i]) return false;
  }
  return true;
}

}  // namespace tonvera
