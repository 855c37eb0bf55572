// Floating-point G.719 decoder for one mono channel: 20 ms frames of R x 20 coded bits in,
// 960 signed 16-bit samples at 48 kHz out.
//
// Usage: g719Init once per channel, then for every frame g719ResetBitCounts with the frame's bit
// count and g719DecodeFrame. Each channel needs its own state; the state carries the overlap of
// the previous frame and is never reset between frames.
//
// Threads: the functions keep no global state. One channel state may be used by one thread at a
// time; different states may be decoded on different threads at once.
//
// Robustness: every input is decoded, including corrupted frames and any value of the state's
// bit counts. Bits past the frame's end read as 0, norm indices are clamped to the quantiser's
// 40 levels and the bit allocation stays inside the frame, so a corrupted frame gives some audio
// and never an out-of-bounds access. Nothing is allocated per frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tonvera {

inline constexpr int kG719FrameSamples = 960;           // output samples per frame (20 ms at 48 kHz)
inline constexpr int kG719MaxFrameBits = 2560;          // largest frame: 128 kbit/s
inline constexpr std::uint16_t kG719SoftOne = 0x0081;   // soft bit 1; every other word reads as 0
inline constexpr std::uint16_t kG719SoftZero = 0x007F;  // soft bit 0

// The state of one channel, in this exact order and with these types (it is embedded in the
// decoder state of a PURE stream, whose size is fixed).
struct G719ChannelState {
  float overlap[kG719FrameSamples];       // second half of the previous frame's windowed output
  float prevSpectrum[kG719FrameSamples];  // previous frame's spectrum (erasure concealment)
  std::int16_t bitsPerFrame;              // R x 20
  std::int16_t stationaryBits;            // spectrum bits of stationary frames: bitsPerFrame - 3
  std::int16_t transientBits;             // spectrum bits of transient frames: bitsPerFrame - 1
  std::int16_t prevTransient;             // previous frame's transient flag, 0 or 1
};
static_assert(sizeof(G719ChannelState) == 2 * 960 * 4 + 4 * 2);

// Zeroes the overlap memory and the previous transient flag and sets the three bit counts. The
// previous spectrum is left as it is (a zero-filled state keeps it zero). bitsPerFrame is
// clamped to 0..kG719MaxFrameBits.
void g719Init(G719ChannelState& state, int bitsPerFrame);

// Sets the three bit counts only (called before every frame). bitsPerFrame is clamped to
// 0..kG719MaxFrameBits.
void g719ResetBitCounts(G719ChannelState& state, int bitsPerFrame);

// Decodes one frame. softBits holds the frame's bits in transmission order, one word per bit
// (kG719SoftOne for 1); bits beyond softBits.size() or beyond state.bitsPerFrame read as 0.
// With erasure set no bits are read: the previous spectrum is halved, kept, and played with the
// previous transient flag. Writes 960 samples to out.
void g719DecodeFrame(std::span<const std::uint16_t> softBits, bool erasure,
                     std::span<std::int16_t, kG719FrameSamples> out, G719ChannelState& state);

// The same as g719DecodeFrame for a frame given as packed bytes, most significant bit first
// (bit k of the frame is bit 7 - k % 8 of byte k / 8), without expanding it to soft bits first.
// Bits beyond the bytes given or beyond state.bitsPerFrame read as 0.
void g719DecodePackedFrame(std::span<const std::uint8_t> bytes, bool erasure,
                           std::span<std::int16_t, kG719FrameSamples> out, G719ChannelState& state);

}  // namespace tonvera
