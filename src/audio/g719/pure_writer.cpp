#include "audio/g719/pure_writer.h"

#include <algorithm>
#include <cstring>

namespace tonvera {
namespace {

void putLe(std::uint8_t* p, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

constexpr std::uint32_t kPcmBytesPerFrame = 960 * 4;
constexpr std::uint32_t kFirstSeedState = 0x9E3779B9u;

}  // namespace

std::array<std::uint8_t, kPureHeaderBytes> pureHeaderBytes(int rate, std::uint32_t frames) {
  std::array<std::uint8_t, kPureHeaderBytes> h{};
  putLe(h.data(), kPureMagic, 4);
  h[4] = kPureVersion;
  h[5] = static_cast<std::uint8_t>(rate);
  putLe(h.data() + 6, frames, 4);
  const std::uint32_t pcmFrames = std::min(frames, 0xFFFFFFFFu / kPcmBytesPerFrame);
  putLe(h.data() + 10, pcmFrames * kPcmBytesPerFrame, 4);
  putLe(h.data() + 14, 0, 2);
  return h;
}

bool pureBuildFrame(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right, int rate,
                    std::uint16_t seed, std::span<std::uint8_t> frame) {
  if (rate < 1 || rate > kPureMaxRate) return false;
  const std::size_t size = static_cast<std::size_t>(pureFrameBytes(rate));
  const std::size_t payload = static_cast<std::size_t>(pureChannelBytes(rate));
  if (frame.size() < size || left.size() < payload || right.size() < payload) return false;
  std::uint8_t* p = frame.data();
  std::memset(p, 0, size);
  putLe(p + 1, seed, 2);
  std::memcpy(p + 4, left.data(), payload);
  std::memcpy(p + 4 + payload, right.data(), payload);
  pureDescramble(frame.first(size), rate);  // scrambling is the same XOR
  return true;
}

std::unique_ptr<PureEncoder> PureEncoder::create(int rate) {
  if (!pureEncodableRate(rate)) return nullptr;
  return std::unique_ptr<PureEncoder>(new PureEncoder(rate));
}

PureEncoder::PureEncoder(int rate) : rate_(rate), seedState_(kFirstSeedState) {
  for (G719EncoderState& c : channel_) g719EncoderInit(c, pureChannelBits(rate));
}

bool PureEncoder::encodeFrame(std::span<const std::int16_t, 2 * kG719FrameSamples> interleaved,
                              std::span<std::uint8_t> frame) {
  if (frame.size() < static_cast<std::size_t>(frameBytes())) return false;
  std::int16_t mono[kG719FrameSamples];
  std::uint8_t payload[2][kG719MaxFrameBits / 8];
  for (int ch = 0; ch < 2; ++ch) {
    for (int i = 0; i < kG719FrameSamples; ++i) mono[i] = interleaved[2 * i + ch];
    g719EncodeFrame(mono, payload[ch], channel_[ch]);
  }
  // xorshift32: a different seed for every frame, the same sequence for every stream.
  seedState_ ^= seedState_ << 13;
  seedState_ ^= seedState_ >> 17;
  seedState_ ^= seedState_ << 5;
  return pureBuildFrame(payload[0], payload[1], rate_, static_cast<std::uint16_t>(seedState_ >> 16), frame);
}

}  // namespace tonvera
