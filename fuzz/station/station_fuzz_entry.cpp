#include "station_fuzz_entry.h"

#include <cstdlib>
#include <string>
#include <string_view>

#include "station/audioformats.h"
#include "station/byterange.h"
#include "station/records.h"
#include "station/text.h"

namespace tonvera::station {

namespace {
void check(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

int stationFuzzOne(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 6) {
    case 0: {  // Range header against a length taken from the input's size
      const std::uint64_t length = input.size() * 37;
      const auto r = parseRange(input, length);
      if (r.kind == RangeRequest::Kind::Partial) check(r.first <= r.last && r.last < length);
      break;
    }
    case 1: {  // form body
      if (auto form = parseForm(input))
        for (const auto& [name, value] : *form) check(isValidUtf8(name) && isValidUtf8(value));
      break;
    }
    case 2: {  // search text
      if (auto text = decodeQueryText(input)) {
        check(isValidUtf8(*text));
        check(isValidUtf8(foldText(*text)));
      }
      check(isValidUtf8(toValidUtf8(input)));
      break;
    }
    case 3: {  // PURE header
      if (auto header = parsePureHeader(input)) check(header->rate >= 1 && header->rate <= 128);
      break;
    }
    case 4: {  // ID3v2 tag header
      if (auto tagSize = id3v2TagSize(input)) check(*tagSize == 0 || *tagSize >= 10);
      break;
    }
    case 5: {  // Host header: the base URL never carries characters that need escaping
      const std::string base = baseUrlFor(input, "127.0.0.1:7650");
      for (char c : base.substr(7))
        check((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              std::string_view(".-:[]").find(c) != std::string_view::npos);
      break;
    }
  }
  return 0;
}

}  // namespace tonvera::station
