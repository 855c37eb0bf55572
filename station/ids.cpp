#include "station/ids.h"

#include <QByteArray>
#include <QCryptographicHash>

namespace tonvera::station {

std::string makeId(std::string_view prefix, std::string_view key) {
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz234567";
  const QByteArray digest = QCryptographicHash::hash(
      QByteArray::fromRawData(key.data(), static_cast<qsizetype>(key.size())), QCryptographicHash::Sha1);
  std::string id(prefix);
  // 13 groups of 5 bits from the first 9 bytes (65 bits).
  unsigned bits = 0;
  int count = 0;
  int index = 0;
  while (id.size() < prefix.size() + 13) {
    if (count < 5) {
      bits = (bits << 8) | static_cast<unsigned char>(digest[index++]);
      count += 8;
    }
    id += kAlphabet[(bits >> (count - 5)) & 0x1F];
    count -= 5;
  }
  return id;
}

bool isWellFormedId(std::string_view id) {
  if (id.empty() || id.size() > 64) return false;
  for (char c : id)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  return true;
}

}  // namespace tonvera::station
