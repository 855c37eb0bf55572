// PURE writer: the inverse of the stream layout in pure_format.h. Builds the 16-byte header and
// frames of 5 R + 4 bytes (a seed in bytes 1-2, the left then the right channel payload, the
// payload scrambled with the seed), and PureEncoder codes 20 ms of 48 kHz stereo PCM into one
// such frame with two G.719 encoders.
//
// Threads: the free functions are pure. One PureEncoder is used by one thread at a time.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "audio/g719/g719_encoder.h"
#include "audio/g719/pure_format.h"

namespace tonvera {

inline constexpr int kPureDefaultRate = 64;

// Whether the encoder writes streams of rate R: the even rates 2..128 (an odd rate leaves the
// last 4 bits of each channel outside the payload bytes).
constexpr bool pureEncodableRate(int rate) { return rate >= 2 && rate <= kPureMaxRate && rate % 2 == 0; }

// Frames for `sampleFrames` input sample frames: one per 960 plus the frame that carries the
// decoder's one-frame delay (the last one zero-filled), as the decoder output lags by 960.
constexpr std::uint64_t pureFramesFor(std::uint64_t sampleFrames) { return sampleFrames / 960 + 1; }

// The header of a stream of `frames` frames at rate R: "PURE", version 16, R, the frame count and
// the decoded PCM length (frames x 3840 bytes, limited to the largest multiple of 3840 that
// fits the 32-bit field), reserved 0; multi-byte fields little-endian.
std::array<std::uint8_t, kPureHeaderBytes> pureHeaderBytes(int rate, std::uint32_t frames);

// Builds one frame of pureFrameBytes(rate) bytes into frame: byte 0 and byte 3 zero, the seed in
// bytes 1-2 (little-endian), the two channel payloads of pureChannelBytes(rate) bytes each from
// byte 4 (a trailing byte zero when 5 R is odd), then scrambles it. The payloads must hold at
// least pureChannelBytes(rate) bytes. False (frame untouched) when a size does not fit.
bool pureBuildFrame(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right, int rate,
                    std::uint16_t seed, std::span<std::uint8_t> frame);

// Codes stereo PCM into PURE frames. The seeds follow a fixed pseudo-random sequence, so the
// same input always gives the same bytes.
class PureEncoder {
 public:
  // Null for a rate pureEncodableRate refuses.
  static std::unique_ptr<PureEncoder> create(int rate);

  int rate() const { return rate_; }
  int frameBytes() const { return pureFrameBytes(rate_); }

  // Codes 960 sample frames of interleaved left and right samples into one frame of frameBytes()
  // bytes. False when frame is too small.
  bool encodeFrame(std::span<const std::int16_t, 2 * kG719FrameSamples> interleaved,
                   std::span<std::uint8_t> frame);

 private:
  explicit PureEncoder(int rate);

  int rate_;
  std::uint32_t seedState_;
  G719EncoderState channel_[2];
};

}  // namespace tonvera
