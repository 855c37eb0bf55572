#include "json_fuzz_entry.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "service/jsonstreamparser.h"
#include "service/jsonvalue.h"
#include "service/plistconvert.h"

namespace tonvera::fuzz {

namespace {

[[noreturn]] void broken(const char* what, std::string_view a, std::string_view b) {
  std::fprintf(stderr, "json fuzz: %s\n  %.*s\n  %.*s\n", what, static_cast<int>(a.size()), a.data(),
               static_cast<int>(b.size()), b.data());
  std::abort();
}

std::string describe(const std::optional<JsonValue>& v, const std::string& error) {
  return v ? "=" + toCanonicalJson(*v, true) : "!" + error;
}

}  // namespace

void jsonReaderOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  SBJsonParser parser;
  const auto whole = parser.objectWithData(text);
  const std::string wholeText = describe(whole, parser.error());

  // The same bytes in two pieces, split at a point taken from the input itself.
  const std::size_t split = size ? data[0] % (size + 1) : 0;
  SBJsonStreamParserAdapter adapter;
  SBJsonStreamParser stream(&adapter);
  stream.parse(text.substr(0, split));
  const auto status = stream.parse(text.substr(split));
  std::string pieces;
  switch (status) {
    case SBJsonStreamParserStatus::Complete:
      pieces = describe(adapter.value(), "");
      break;
    case SBJsonStreamParserStatus::WaitingForData:
      pieces = "!Unexpected end of input";
      break;
    case SBJsonStreamParserStatus::Error:
      pieces = "!" + stream.error();
      break;
  }
  if (pieces != wholeText) broken("pieces and whole buffer disagree", wholeText, pieces);

  if (!whole) return;
  const std::string canonical = toCanonicalJson(*whole);
  const auto again = parseJson(canonical);
  if (!again || !(*again == *whole)) broken("canonical text does not read back", canonical, describe(again, ""));

  // Conversions must cope with anything the reader makes.
  const PlistValue plist = toPlist(*whole);
  (void)toCanonicalJson(plist);
  (void)whole->toText();
}

}  // namespace tonvera::fuzz
