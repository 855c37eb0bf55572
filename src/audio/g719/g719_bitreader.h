// Bit reader over one G.719 frame packed most significant bit first into 64-bit words.
// Reading past the frame's last bit yields zeros, however far the position goes.
//
// Threads: a value type owned by one decoding call.
#pragma once

#include <cstdint>
#include <span>

namespace tonvera::g719 {

inline constexpr int kMaxFrameWords = 2560 / 64 + 2;  // the largest frame plus zero padding

struct PackedFrame {
  std::uint64_t words[kMaxFrameWords];  // bit k of the frame is bit 63 - k % 64 of word k / 64
  int bits;                             // valid bits; every bit from here on is zero
};

// Packs soft bits (kG719SoftOne = 1, any other word = 0), at most maxBits of them.
void packSoftBits(std::span<const std::uint16_t> softBits, int maxBits, PackedFrame& frame);

// Packs bytes, most significant bit first, at most maxBits bits of them.
void packBytes(std::span<const std::uint8_t> bytes, int maxBits, PackedFrame& frame);

class BitReader {
 public:
  explicit BitReader(const PackedFrame& frame) : words_(frame.words), end_(frame.bits) {}

  // The next n bits (1..64) as an unsigned number, without consuming them.
  std::uint64_t peek64(int n) const {
    const int p = pos_ < end_ ? pos_ : end_;  // at end_ and beyond every bit is zero
    const int index = p >> 6;
    const int shift = p & 63;
    const std::uint64_t hi = words_[index] << shift;
    const std::uint64_t lo = (words_[index + 1] >> 1) >> (63 - shift);
    return (hi | lo) >> (64 - n);
  }
  // The next n bits (1..32).
  std::uint32_t peek(int n) const { return static_cast<std::uint32_t>(peek64(n)); }
  void skip(int n) { pos_ += n; }
  std::uint32_t read(int n) {
    const std::uint32_t v = peek(n);
    pos_ += n;
    return v;
  }
  std::uint64_t read64(int n) {
    const std::uint64_t v = peek64(n);
    pos_ += n;
    return v;
  }
  // Bits consumed so far (may exceed the frame's size for corrupted frames).
  int position() const { return pos_; }

 private:
  const std::uint64_t* words_;
  int end_;
  int pos_ = 0;
};

}  // namespace tonvera::g719
