#include "station/byterange.h"

#include <charconv>
#include <optional>

namespace tonvera::station {

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::optional<std::uint64_t> number(std::string_view s) {
  if (s.empty() || s.size() > 19) return std::nullopt;
  std::uint64_t value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return value;
}

}  // namespace

RangeRequest parseRange(std::string_view header, std::uint64_t length) {
  using Kind = RangeRequest::Kind;
  RangeRequest whole;
  header = trim(header);
  constexpr std::string_view kUnit = "bytes=";
  if (header.substr(0, kUnit.size()) != kUnit) return whole;
  const std::string_view spec = trim(header.substr(kUnit.size()));
  if (spec.find(',') != std::string_view::npos) return whole;
  const auto dash = spec.find('-');
  if (dash == std::string_view::npos) return whole;
  const auto firstText = trim(spec.substr(0, dash));
  const auto lastText = trim(spec.substr(dash + 1));

  if (firstText.empty()) {  // suffix: the last n bytes
    auto n = number(lastText);
    if (!n) return whole;
    if (*n == 0 || length == 0) return {Kind::Unsatisfiable, 0, 0};
    const std::uint64_t count = *n < length ? *n : length;
    return {Kind::Partial, length - count, length - 1};
  }
  auto first = number(firstText);
  if (!first) return whole;
  std::uint64_t last = length == 0 ? 0 : length - 1;
  if (!lastText.empty()) {
    auto l = number(lastText);
    if (!l || *l < *first) return whole;
    if (*l < last) last = *l;
  }
  if (*first >= length) return {Kind::Unsatisfiable, 0, 0};
  return {Kind::Partial, *first, last};
}

}  // namespace tonvera::station
