#include "display/lyricsmodel.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

namespace tonvera {
namespace {

// A line's bracketed head (from its first '[' to its last ']') and the text after it.
constexpr std::u16string_view kLinePattern = uR"re((\[.*\])(.*$))re";
// One "[minutes:seconds]" tag.
constexpr std::u16string_view kTagPattern = uR"re(\[(\d+):([^]]+)\])re";

// Work limit for one match operation, in ICU's time-limit units (each a few thousand engine steps).
// Lines that cannot match make the line pattern backtrack quadratically (a line of tens of
// thousands of '[' with no ']'); such a line is dropped once the limit is hit instead of stalling
// the main thread. Real lyric lines finish far below it.
constexpr int32_t kMatchTimeLimit = 300;

std::unique_ptr<icu::RegexPattern> compile(std::u16string_view pattern) {
  UErrorCode status = U_ZERO_ERROR;
  UParseError parseError;
  const icu::UnicodeString source(pattern.data(), static_cast<int32_t>(pattern.size()));
  std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(source, 0, parseError, status));
  if (U_FAILURE(status)) {
    return nullptr;
  }
  return compiled;
}

// Compiled once; a pattern is immutable and only hands out matchers.
const icu::RegexPattern* linePattern() {
  static const std::unique_ptr<icu::RegexPattern> pattern = compile(kLinePattern);
  return pattern.get();
}

const icu::RegexPattern* tagPattern() {
  static const std::unique_ptr<icu::RegexPattern> pattern = compile(kTagPattern);
  return pattern.get();
}

std::u16string toU16(const icu::UnicodeString& s) {
  return std::u16string(s.getBuffer(), static_cast<std::size_t>(s.length()));
}

// All matches of a pattern in a text (at most maxMatches), each as the list of its capture-group
// strings. A match operation that fails or runs out of time ends the list.
std::vector<std::vector<std::u16string>> allMatches(const icu::RegexPattern* pattern,
                                                    std::u16string_view text, std::size_t maxMatches) {
  std::vector<std::vector<std::u16string>> matches;
  if (!pattern || text.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
    return matches;
  }
  // Read-only alias: no copy of the text.
  const icu::UnicodeString input(false, text.data(), static_cast<int32_t>(text.size()));
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(input, status));
  if (U_FAILURE(status) || !matcher) {
    return matches;
  }
  matcher->setTimeLimit(kMatchTimeLimit, status);
  const int32_t groups = matcher->groupCount();
  while (matches.size() < maxMatches && matcher->find(status) && U_SUCCESS(status)) {
    std::vector<std::u16string> captures;
    captures.reserve(static_cast<std::size_t>(groups));
    for (int32_t g = 1; g <= groups; ++g) {
      captures.push_back(toU16(matcher->group(g, status)));
    }
    if (U_FAILURE(status)) {
      break;
    }
    matches.push_back(std::move(captures));
  }
  return matches;
}

// The leading decimal number of a text (after ASCII blanks, with an optional sign and fraction),
// read as a 32-bit float; 0 when the text does not start with a number. Out-of-range values become
// infinities.
float leadingNumber(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) {
    ++i;
  }
  std::string ascii;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    if (text[i] == u'-') {
      ascii.push_back('-');
    }
    ++i;
  }
  std::size_t digits = 0;
  auto takeDigits = [&] {
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
      ascii.push_back(static_cast<char>(text[i]));
      ++i;
      ++digits;
    }
  };
  takeDigits();
  if (i < text.size() && text[i] == u'.') {
    ascii.push_back('.');
    ++i;
    takeDigits();
  }
  if (digits == 0) {
    return 0.0f;
  }
  float value = 0.0f;
  const char* first = ascii.data();
  const char* last = ascii.data() + ascii.size();
  const auto [end, error] = std::from_chars(first, last, value, std::chars_format::fixed);
  (void)end;
  if (error == std::errc::result_out_of_range) {
    // Only overflow can happen here: a long run of digits. (Underflow needs an exponent.)
    const bool negative = ascii.front() == '-';
    return negative ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
  }
  return error == std::errc() ? value : 0.0f;
}

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

void LineLrcModel::setLrc(std::optional<std::u16string> lrc) {
  if (lrc && lrc->empty()) {
    lrc.reset();
  }
  lrc_ = std::move(lrc);
}

void LineLrcModel::setLrcUtf8(std::optional<std::string_view> utf8) {
  if (!utf8) {
    setLrc(std::nullopt);
    return;
  }
  const auto size = utf8->size();
  if (size > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
    setLrc(std::nullopt);
    return;
  }
  const icu::UnicodeString text =
      icu::UnicodeString::fromUTF8(icu::StringPiece(utf8->data(), static_cast<int32_t>(size)));
  setLrc(toU16(text));
}

void LineLrcModel::processLrc() {
  lrcdict_.clear();
  sortedTimes_.clear();
  index_ = 0;
  if (!lrc_) {
    return;
  }
  const std::u16string_view text = *lrc_;
  std::size_t start = 0;
  while (true) {
    const std::size_t newline = text.find(u'\n', start);
    const std::u16string_view line = text.substr(
        start, newline == std::u16string_view::npos ? std::u16string_view::npos : newline - start);
    for (auto& [time, lineText] : genLineDict(line)) {
      lrcdict_.insert_or_assign(time, std::move(lineText));
    }
    if (newline == std::u16string_view::npos) {
      break;
    }
    start = newline + 1;
  }
  sortedTimes_.reserve(lrcdict_.size());
  for (const auto& entry : lrcdict_) {
    sortedTimes_.push_back(entry.first);  // a map iterates in ascending key order
  }
}

std::optional<std::u16string_view> LineLrcModel::untimedText() const {
  if (!lrc_ || !lrcdict_.empty()) {
    return std::nullopt;
  }
  return std::u16string_view(*lrc_);
}

LineLrcModel::Choice LineLrcModel::chooseLine() {
  if (!lrc_) {
    return {Display::NoLyrics, {}};
  }
  if (sortedTimes_.empty()) {
    return {Display::Untimed, {}};
  }
  // Times are compared at the precision they were read in, so a position equal to a tag as
  // written reaches that tag's line.
  std::size_t count = 0;
  if (!std::isnan(timestamp_)) {
    const double clamped = std::clamp(timestamp_, -double(std::numeric_limits<float>::max()),
                                      double(std::numeric_limits<float>::max()));
    const float position = static_cast<float>(clamped);
    // The times not after the position form a prefix of the sorted list.
    count = static_cast<std::size_t>(std::upper_bound(sortedTimes_.begin(), sortedTimes_.end(), position) -
                                     sortedTimes_.begin());
  }
  index_ = count == 0 ? 0 : count - 1;
  return {Display::Line, lrcdict_.find(sortedTimes_[index_])->second};
}

std::optional<LineLrcModel::Span> LineLrcModel::span(double seconds, double end) const {
  if (!lrc_ || sortedTimes_.empty()) return std::nullopt;
  const std::size_t at = std::min(index_, sortedTimes_.size() - 1);
  Span span;
  span.line = lrcdict_.find(sortedTimes_[at])->second;
  const double start = sortedTimes_[at];
  double stop = end;
  if (at + 1 < sortedTimes_.size()) {
    span.next = lrcdict_.find(sortedTimes_[at + 1])->second;
    stop = sortedTimes_[at + 1];
  } else if (!(end > start)) {
    stop = start + kLastLineSeconds;
  }
  span.length = stop - start;
  const double share = (seconds - start) / span.length;
  span.fill = std::isnan(share) ? 0.0 : std::clamp(share, 0.0, 1.0);
  return span;
}

LineLrcModel::Rows LineLrcModel::layoutLine(const TextWidth& textWidth, double availableWidth) {
  Choice choice = chooseLine();
  Rows rows;
  rows.display = choice.display;
  if (choice.display != Display::Line) {
    return rows;
  }
  const double width = textWidth ? textWidth(choice.line) : 0.0;
  if (width <= availableWidth) {
    rows.first = std::move(choice.line);
    return rows;
  }
  auto [first, second] = splitInHalves(choice.line);
  rows.first = std::move(first);
  rows.second = std::move(second);
  return rows;
}

LineLrcModel::LrcDict LineLrcModel::genLineDict(std::u16string_view line) {
  LrcDict entries;
  const auto matches = allMatches(linePattern(), line, 1);
  if (matches.empty() || matches.front().size() < 2) {
    return entries;
  }
  const std::u16string& head = matches.front()[0];
  const std::u16string& text = matches.front()[1];
  for (float time : genTimeStamps(head)) {
    entries.insert_or_assign(time, text);
  }
  return entries;
}

std::vector<float> LineLrcModel::genTimeStamps(std::u16string_view head) {
  std::vector<float> times;
  for (const auto& captures : allMatches(tagPattern(), head, std::numeric_limits<std::size_t>::max())) {
    if (captures.size() < 2) {
      continue;
    }
    const float minutes = leadingNumber(captures[0]);
    const float seconds = leadingNumber(captures[1]);
    const float time = minutes * 60.0f + seconds;
    // Only a negative overflowing seconds field against an overflowing minutes field can give
    // NaN; such a tag has no place in an ordered list and is left out.
    if (!std::isnan(time)) {
      times.push_back(time);
    }
  }
  return times;
}

std::pair<std::u16string, std::u16string> LineLrcModel::splitInHalves(std::u16string_view line) {
  // A line with spaces breaks between words: at the space nearest the middle (the earlier one of
  // two as near), which neither row keeps.
  std::optional<std::size_t> space;
  const auto distance = [&](std::size_t at) {
    return 2 * at > line.size() ? 2 * at - line.size() : line.size() - 2 * at;
  };
  for (std::size_t at = line.find(u' '); at != std::u16string_view::npos; at = line.find(u' ', at + 1)) {
    if (!space || distance(at) < distance(*space)) space = at;
  }
  if (space) return {std::u16string(line.substr(0, *space)), std::u16string(line.substr(*space + 1))};
  std::size_t middle = line.size() / 2;
  if (middle > 0 && middle < line.size() && isHighSurrogate(line[middle - 1]) &&
      isLowSurrogate(line[middle])) {
    --middle;
  }
  return {std::u16string(line.substr(0, middle)), std::u16string(line.substr(middle))};
}

}  // namespace tonvera
