#include "audio/g719/pure_format.h"

#include <algorithm>
#include <cstring>

namespace tonvera {
namespace {

std::uint32_t le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

// The eight soft bits of every byte value, most significant bit first.
struct SoftBytes {
  std::uint16_t words[256][8];
};
constexpr SoftBytes kSoftBytes = [] {
  SoftBytes t{};
  for (int v = 0; v < 256; ++v) {
    for (int i = 0; i < 8; ++i) t.words[v][i] = (v >> (7 - i)) & 1 ? 0x0081 : 0x007F;
  }
  return t;
}();

}  // namespace

std::optional<PURE_HEADER> parsePureHeader(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kPureHeaderBytes) {
    return std::nullopt;
  }
  const std::uint8_t* p = bytes.data();
  PURE_HEADER h;
  h.m_dwID = le32(p);
  h.m_ucVersion = p[4];
  h.m_ucBPS = p[5];
  h.m_dwBLOCKS = le32(p + 6);
  h.m_dwPCMLENGTH = le32(p + 10);
  h.m_wRESERVED = le16(p + 14);
  if (h.m_dwID != kPureMagic || h.m_ucVersion != kPureVersion || h.m_ucBPS == 0 || h.m_ucBPS > kPureMaxRate) {
    return std::nullopt;
  }
  return h;
}

void pureDescramble(std::span<std::uint8_t> frame, int rate) {
  const int words = pureChannelBytes(rate);
  if (words <= 0 || frame.size() < static_cast<std::size_t>(4 + 2 * words)) {
    return;
  }
  std::uint8_t* p = frame.data();
  unsigned key = le16(p + 1);
  for (int i = 0; i < words; ++i) {
    key = ((key >> 1) | (key << 15)) & 0xFFFFu;
    p[4 + 2 * i] ^= static_cast<std::uint8_t>(key);
    p[5 + 2 * i] ^= static_cast<std::uint8_t>(key >> 8);
  }
}

std::span<const std::uint8_t> pureChannelPayload(std::span<const std::uint8_t> frame, int rate, int channel) {
  const std::size_t offset = 4 + static_cast<std::size_t>(channel != 0 ? pureChannelBytes(rate) : 0);
  const std::size_t length = static_cast<std::size_t>(pureChannelBits(rate) / 8);
  if (rate <= 0 || frame.size() < offset + length) {
    return {};
  }
  return frame.subspan(offset, length);
}

void pureExpandSoftBits(std::span<const std::uint8_t> payload, int rate, std::span<std::uint16_t> softBits) {
  const std::size_t bits =
      std::min<std::size_t>(softBits.size(), static_cast<std::size_t>(std::max(0, pureChannelBits(rate))));
  const std::size_t wholeBytes = std::min(bits / 8, payload.size());
  std::uint16_t* out = softBits.data();
  for (std::size_t i = 0; i < wholeBytes; ++i) {
    std::memcpy(out + 8 * i, kSoftBytes.words[payload[i]], sizeof kSoftBytes.words[0]);
  }
  for (std::size_t k = 8 * wholeBytes; k < bits; ++k) {
    const std::size_t byte = k >> 3;
    const bool one = byte < payload.size() && ((payload[byte] >> (7 - (k & 7))) & 1) != 0;
    out[k] = one ? 0x0081 : 0x007F;
  }
}

}  // namespace tonvera
