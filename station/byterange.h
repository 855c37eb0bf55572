#pragma once
// The "Range" request header of a stream, checked against the stream's length.
// Pure function; any thread may call it.

#include <cstdint>
#include <string_view>

namespace tonvera::station {

struct RangeRequest {
  enum class Kind {
    Whole,          // no usable range: answer 200 with every byte
    Partial,        // answer 206 with bytes first..last
    Unsatisfiable,  // answer 416 ("bytes */length")
  };
  Kind kind = Kind::Whole;
  std::uint64_t first = 0;  // inclusive
  std::uint64_t last = 0;   // inclusive
};

// One "bytes=" range: "a-b", "a-" (to the end) or "-n" (the last n bytes). A last position past
// the end is cut to the end; a first position at or past the end, or a suffix of 0 bytes, cannot be
// satisfied. Other units, several ranges and malformed text give Whole (the header is ignored).
RangeRequest parseRange(std::string_view header, std::uint64_t length);

}  // namespace tonvera::station
