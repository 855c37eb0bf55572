#include "g719_fuzz_entry.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "audio/g719/g719_decoder.h"

namespace tonvera {
namespace {

constexpr int kMaxFrames = 12;  // enough to carry overlap and spectrum across frames

// Option bits of byte 1.
constexpr unsigned kErasures = 1u << 0;      // frames whose first byte is odd are erasures
constexpr unsigned kOddSoftWords = 1u << 1;  // zeros sent as arbitrary words other than 0x0081
constexpr unsigned kWildCounts = 1u << 2;    // bit counts of the state taken from the input
constexpr unsigned kShortInput = 1u << 3;    // hand the decoder fewer soft bits than it expects

}  // namespace

int g719FuzzOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int rate = 1 + data[0] % 128;
  const unsigned options = data[1];
  const int bits = 20 * rate;
  const std::size_t frameBytes = static_cast<std::size_t>((bits + 7) / 8);
  data += 2;
  size -= 2;

  G719ChannelState soft;
  G719ChannelState packed;
  std::memset(&soft, 0, sizeof soft);
  std::memset(&packed, 0, sizeof packed);
  g719Init(soft, bits);
  g719Init(packed, bits);

  std::uint16_t words[kG719MaxFrameBits];
  std::int16_t outSoft[kG719FrameSamples];
  std::int16_t outPacked[kG719FrameSamples];
  for (int f = 0; f < kMaxFrames && size > 0; ++f) {
    const std::size_t n = std::min(size, frameBytes);
    const std::uint8_t* frame = data;
    data += n;
    size -= n;

    g719ResetBitCounts(soft, bits);
    g719ResetBitCounts(packed, bits);
    if ((options & kWildCounts) && n >= 4) {
      // Arbitrary signed 16-bit budgets, as a damaged state would hold them.
      const auto a = static_cast<std::int16_t>(frame[0] | frame[1] << 8);
      const auto b = static_cast<std::int16_t>(frame[2] | frame[3] << 8);
      soft.stationaryBits = packed.stationaryBits = a;
      soft.transientBits = packed.transientBits = b;
    }
    const bool erasure = (options & kErasures) && (frame[0] & 1);

    std::size_t count = std::min<std::size_t>(n * 8, static_cast<std::size_t>(bits));
    if ((options & kShortInput) && count > 0) count = frame[n - 1] % count;
    for (std::size_t k = 0; k < count; ++k) {
      const bool one = (frame[k >> 3] >> (7 - (k & 7))) & 1;
      std::uint16_t zero = kG719SoftZero;
      if (options & kOddSoftWords) {
        zero = static_cast<std::uint16_t>(frame[k >> 3] * 257u + k);
        if (zero == kG719SoftOne) zero = 0;
      }
      words[k] = one ? kG719SoftOne : zero;
    }
    g719DecodeFrame(std::span<const std::uint16_t>(words, count), erasure, outSoft, soft);
    // The packed entry point sees the same bits: the bytes, with every bit from count on zero.
    std::uint8_t bytes[kG719MaxFrameBits / 8];
    std::memcpy(bytes, frame, (count + 7) / 8);
    if (count & 7) bytes[count >> 3] &= static_cast<std::uint8_t>(0xFF00u >> (count & 7));
    g719DecodePackedFrame(std::span<const std::uint8_t>(bytes, (count + 7) / 8), erasure, outPacked, packed);
    if (std::memcmp(outSoft, outPacked, sizeof outSoft) != 0) std::abort();
  }
  return 0;
}

}  // namespace tonvera
