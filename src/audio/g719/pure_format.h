// The PURE stream layout around the G.719 decoder: the 16-byte header, frames of 5 R + 4 bytes,
// the descrambling of a frame's payload and the expansion of a channel's payload into the soft
// bits the decoder takes.
//
// Threads: pure functions and a read-only view; callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tonvera {

inline constexpr std::size_t kPureHeaderBytes = 16;
inline constexpr std::uint32_t kPureMagic = 0x45525550;  // the bytes "PURE", little-endian
inline constexpr std::uint8_t kPureVersion = 16;
inline constexpr int kPureMaxRate = 128;                         // the largest rate byte R
inline constexpr int kPureMaxFrameBytes = 5 * kPureMaxRate + 4;  // 644

// The stream header (little-endian fields on the wire, in this order, 16 bytes packed).
struct PURE_HEADER {
  std::uint32_t m_dwID;         // kPureMagic
  std::uint8_t m_ucVersion;     // kPureVersion
  std::uint8_t m_ucBPS;         // rate R: coded kbit/s per channel, 1..128
  std::uint32_t m_dwBLOCKS;     // frame count as written by the producer; not relied upon
  std::uint32_t m_dwPCMLENGTH;  // decoded length in bytes of 48 kHz stereo 16-bit PCM
  std::uint16_t m_wRESERVED;
};

// Reads the header from the first 16 bytes. Empty when fewer bytes are given, the magic or the
// version is wrong, or the rate is 0 or above 128 (such a stream cannot be framed).
std::optional<PURE_HEADER> parsePureHeader(std::span<const std::uint8_t> bytes);

// Bytes of one frame at rate R: 5 R + 4.
constexpr int pureFrameBytes(int rate) { return 5 * rate + 4; }
// Payload bytes W of channel 0 at rate R (channel 1 follows, plus one byte when 5 R is odd).
constexpr int pureChannelBytes(int rate) { return 5 * rate / 2; }
// Coded bits per channel and frame: R x 20.
constexpr int pureChannelBits(int rate) { return 20 * rate; }

// Descrambles (or scrambles: the same operation) one frame in place: every 16-bit
// little-endian payload word from byte 4 is XORed with a key that starts from the seed in bytes
// 1-2 and is rotated right by one bit before each word. frame must hold pureFrameBytes(rate).
void pureDescramble(std::span<std::uint8_t> frame, int rate);

// The payload of channel 0 or 1 inside a (descrambled) frame: floor(R x 20 / 8) bytes.
std::span<const std::uint8_t> pureChannelPayload(std::span<const std::uint8_t> frame, int rate, int channel);

// Expands a channel payload into R x 20 soft bits, most significant bit first (0x0081 for 1,
// 0x007F for 0); for odd R the last 4 soft bits come from no byte and are 0x007F.
void pureExpandSoftBits(std::span<const std::uint8_t> payload, int rate, std::span<std::uint16_t> softBits);

}  // namespace tonvera
