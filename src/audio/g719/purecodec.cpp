#include "audio/g719/purecodec.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace tonvera {

std::unique_ptr<PURE_CODEC_HANDLE> pureCodecCreate(const PURE_HEADER* header) {
  if (header == nullptr || header->m_ucBPS == 0 || header->m_ucBPS > kPureMaxRate) {
    return nullptr;
  }
  std::unique_ptr<PURE_CODEC_HANDLE> codec;
  try {
    codec = std::make_unique<PURE_CODEC_HANDLE>();  // value-initialised: all zero
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  codec->rate = header->m_ucBPS;
  for (G719ChannelState& state : codec->channel) {
    g719Init(state, pureChannelBits(codec->rate));
  }
  return codec;
}

bool pureDecodeFrame(PURE_CODEC_HANDLE* codec, std::span<std::uint8_t> frame,
                     std::span<std::int16_t, kPureFramePcmSamples> out) {
  if (codec == nullptr || codec->rate == 0 || codec->rate > kPureMaxRate ||
      frame.size() < static_cast<std::size_t>(pureFrameBytes(codec->rate))) {
    return false;
  }
  const int rate = codec->rate;
  const int bits = pureChannelBits(rate);
  pureDescramble(frame, rate);

  std::uint16_t softBits[kG719MaxFrameBits];
  std::int16_t mono[kPureFrameSamples];
  for (int ch = 0; ch < 2; ++ch) {
    G719ChannelState& state = codec->channel[ch];
    pureExpandSoftBits(pureChannelPayload(frame, rate, ch), rate, std::span(softBits, bits));
    g719ResetBitCounts(state, bits);
    g719DecodeFrame(std::span<const std::uint16_t>(softBits, bits), false, mono, state);
    for (int i = 0; i < kPureFrameSamples; ++i) {
      out[2 * i + ch] = mono[i];
    }
  }
  return true;
}

void PureFramer::reset(int frameBytes) {
  frameBytes_ = frameBytes;
  held_ = 0;
}

std::span<std::uint8_t> PureFramer::next(std::span<std::uint8_t>& chunk) {
  if (frameBytes_ <= 0 || frameBytes_ > kPureMaxFrameBytes) {
    chunk = {};  // no frame size: nothing can be framed
    return {};
  }
  const std::size_t size = static_cast<std::size_t>(frameBytes_);
  if (held_ > 0) {
    const std::size_t take = std::min(size - held_, chunk.size());
    std::memcpy(frame_buffer + held_, chunk.data(), take);
    held_ += take;
    chunk = chunk.subspan(take);
    if (held_ < size) {
      return {};
    }
    held_ = 0;
    return std::span<std::uint8_t>(frame_buffer, size);
  }
  if (chunk.size() < size) {
    std::memset(frame_buffer, 0, sizeof frame_buffer);
    std::memcpy(frame_buffer, chunk.data(), chunk.size());
    held_ = chunk.size();
    chunk = {};
    return {};
  }
  const std::span<std::uint8_t> frame = chunk.first(size);
  chunk = chunk.subspan(size);
  return frame;
}

std::uint32_t pureDurationMs(const PURE_HEADER& header) { return header.m_dwPCMLENGTH / kPurePcmBytesPerMs; }

}  // namespace tonvera
