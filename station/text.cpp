#include "station/text.h"

#include <QString>

#include <cstdint>

namespace tonvera::station {

std::string toValidUtf8(std::string_view text) {
  if (isValidUtf8(text)) return std::string(text);
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toStdString();
}

std::optional<std::string> percentDecode(std::string_view text, bool plusIsSpace) {
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size()) return std::nullopt;
      const int hi = hex(text[i + 1]);
      const int lo = hex(text[i + 2]);
      if (hi < 0 || lo < 0) return std::nullopt;
      out += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else if (c == '+' && plusIsSpace) {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

std::string foldText(std::string_view utf8) {
  const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  return text.normalized(QString::NormalizationForm_KC).toCaseFolded().simplified().toStdString();
}

}  // namespace tonvera::station

namespace tonvera::station {

std::optional<std::vector<std::pair<std::string, std::string>>> parseForm(std::string_view body) {
  std::vector<std::pair<std::string, std::string>> pairs;
  std::size_t start = 0;
  while (start <= body.size()) {
    auto amp = body.find('&', start);
    if (amp == std::string_view::npos) amp = body.size();
    const auto part = body.substr(start, amp - start);
    start = amp + 1;
    if (part.empty()) continue;
    const auto eq = part.find('=');
    auto name = percentDecode(part.substr(0, eq), true);
    auto value = percentDecode(eq == std::string_view::npos ? std::string_view() : part.substr(eq + 1), true);
    if (!name || !value || !isValidUtf8(*name) || !isValidUtf8(*value)) return std::nullopt;
    pairs.emplace_back(std::move(*name), std::move(*value));
  }
  return pairs;
}

std::optional<std::string> decodeQueryText(std::string_view onceDecoded) {
  if (!isValidUtf8(onceDecoded)) return std::nullopt;
  if (onceDecoded.find('%') != std::string_view::npos) {
    if (auto twice = percentDecode(onceDecoded, false); twice && isValidUtf8(*twice)) return twice;
  }
  return std::string(onceDecoded);
}

}  // namespace tonvera::station
