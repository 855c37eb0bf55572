#include "pure_fuzz_entry.h"

#include <cstdlib>
#include <span>
#include <vector>

#include "audio/g719/purecodec.h"

namespace tonvera {
namespace {

constexpr std::size_t kMaxFrames = 48;  // keeps one input fast

// Decodes the frames of `bytes` (the stream after the header), handed over in chunks whose sizes
// come from a small generator (0 = the whole stream at once).
std::vector<std::int16_t> decode(const PURE_HEADER& header, std::vector<std::uint8_t> bytes,
                                 std::uint32_t seed) {
  const auto codec = pureCodecCreate(&header);
  if (!codec) std::abort();
  PureFramer framer(pureFrameBytes(header.m_ucBPS));
  std::vector<std::int16_t> out;
  std::int16_t pcm[kPureFramePcmSamples];
  for (std::size_t pos = 0; pos < bytes.size();) {
    std::size_t n = bytes.size() - pos;
    if (seed != 0) {
      seed = seed * 1664525u + 1013904223u;
      n = std::min<std::size_t>(n, 1 + (seed >> 8) % 2048);
    }
    std::span<std::uint8_t> chunk(bytes.data() + pos, n);
    pos += n;
    while (!chunk.empty()) {
      const auto frame = framer.next(chunk);
      if (frame.empty()) break;
      if (!pureDecodeFrame(codec.get(), frame, pcm)) std::abort();
      out.insert(out.end(), pcm, pcm + kPureFramePcmSamples);
    }
  }
  const std::size_t whole = bytes.size() / static_cast<std::size_t>(framer.frameBytes());
  if (framer.held() != bytes.size() % static_cast<std::size_t>(framer.frameBytes()) ||
      out.size() != whole * kPureFramePcmSamples) {
    std::abort();
  }
  return out;
}

}  // namespace

int pureFuzzOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2 + kPureHeaderBytes) return 0;
  const std::uint32_t seed = (data[0] | data[1] << 8) + 1u;
  const auto header = parsePureHeader(std::span(data + 2, kPureHeaderBytes));
  if (!header) return 0;
  const std::size_t limit = kMaxFrames * static_cast<std::size_t>(pureFrameBytes(header->m_ucBPS));
  const std::uint8_t* frames = data + 2 + kPureHeaderBytes;
  const std::size_t length = std::min(size - 2 - kPureHeaderBytes, limit);
  const std::vector<std::uint8_t> bytes(frames, frames + length);
  if (decode(*header, bytes, 0) != decode(*header, bytes, seed)) std::abort();
  return 0;
}

}  // namespace tonvera
