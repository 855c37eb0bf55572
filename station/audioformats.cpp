#include "station/audioformats.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <span>

#include "audio/g719/pure_format.h"

namespace tonvera::station {

namespace {

struct FormatRow {
  AudioFormat format;
  const char* extension;
  const char* contentType;
};

constexpr std::array<FormatRow, 7> kFormats{{
    {AudioFormat::Mp3, "mp3", "audio/mpeg"},
    {AudioFormat::Aac, "aac", "audio/aac"},
    {AudioFormat::M4a, "m4a", "audio/mp4"},
    {AudioFormat::Wav, "wav", "audio/x-wav"},
    {AudioFormat::Aiff, "aiff", "audio/x-aiff"},
    {AudioFormat::Caf, "caf", "audio/x-caf"},
    {AudioFormat::Pure, "pur", "audio/x-pur"},
}};

const FormatRow& rowOf(AudioFormat format) {
  for (const auto& row : kFormats)
    if (row.format == format) return row;
  return kFormats[0];
}

constexpr std::array<int, 13> kAdtsRates{96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                         22050, 16000, 12000, 11025, 8000,  7350};

}  // namespace

std::optional<AudioFormat> formatForFileName(std::string_view fileName) {
  auto dot = fileName.rfind('.');
  if (dot == std::string_view::npos) return std::nullopt;
  std::string ext;
  for (char c : fileName.substr(dot + 1)) ext += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == "aif" || ext == "aifc") ext = "aiff";
  if (ext == "mp4") ext = "m4a";
  for (const auto& row : kFormats)
    if (ext == row.extension) return row.format;
  return std::nullopt;
}

const char* contentTypeOf(AudioFormat format) { return rowOf(format).contentType; }
const char* extensionOf(AudioFormat format) { return rowOf(format).extension; }

std::optional<std::uint64_t> id3v2TagSize(std::string_view head) {
  if (head.size() < 10 || head.substr(0, 3) != "ID3") return 0;
  std::uint64_t size = 0;
  for (int i = 6; i < 10; ++i) {
    auto byte = static_cast<unsigned char>(head[i]);
    if (byte & 0x80) return std::nullopt;  // sizes are sync-safe: 7 bits a byte
    size = (size << 7) | byte;
  }
  bool footer = static_cast<unsigned char>(head[5]) & 0x10;
  return 10 + size + (footer ? 10 : 0);
}

std::optional<AdtsInfo> readAdtsInfo(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  in.seekg(0, std::ios::end);
  const auto fileSize = static_cast<std::uint64_t>(in.tellg());
  AdtsInfo info;
  // Skip any number of ID3v2 tags in front of the frames.
  std::uint64_t pos = 0;
  for (;;) {
    char head[10];
    in.clear();
    in.seekg(static_cast<std::streamoff>(pos));
    if (!in.read(head, sizeof head)) break;
    auto tag = id3v2TagSize(std::string_view(head, sizeof head));
    if (!tag) return std::nullopt;
    if (*tag == 0) break;
    pos += *tag;
  }
  info.begin = pos;
  while (pos + 7 <= fileSize) {
    unsigned char h[7];
    in.clear();
    in.seekg(static_cast<std::streamoff>(pos));
    if (!in.read(reinterpret_cast<char*>(h), sizeof h)) break;
    if (h[0] != 0xFF || (h[1] & 0xF6) != 0xF0) break;  // sync word, layer 0
    const int rateIndex = (h[2] >> 2) & 0x0F;
    if (rateIndex >= static_cast<int>(kAdtsRates.size())) break;
    const std::uint64_t frameLength = ((h[3] & 0x03u) << 11) | (h[4] << 3) | (h[5] >> 5);
    const int headerLength = (h[1] & 0x01) ? 7 : 9;
    if (frameLength < static_cast<std::uint64_t>(headerLength) || pos + frameLength > fileSize) break;
    if (info.sampleRate == 0) info.sampleRate = kAdtsRates[rateIndex];
    info.frames += (h[6] & 0x03) + 1;  // raw data blocks in this frame
    pos += frameLength;
  }
  if (info.frames == 0) return std::nullopt;
  info.end = pos;
  info.durationMs = static_cast<std::int64_t>(info.frames * 1024 * 1000 / static_cast<std::uint64_t>(info.sampleRate));
  return info;
}

namespace {

// The length in bytes of the MPEG Layer III frame whose header starts at `h`, 0 when the four bytes
// are not one (free format and reserved values included); `key` receives the fields that stay the
// same through a stream.
int mpegFrameBytes(const unsigned char* h, std::uint32_t* key) {
  static constexpr std::array<int, 15> kMpeg1{0,   32,  40,  48,  56,  64,  80, 96,
                                              112, 128, 160, 192, 224, 256, 320};
  static constexpr std::array<int, 15> kMpeg2{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
  static constexpr std::array<std::array<int, 3>, 4> kRates{
      {{11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}}};
  if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return 0;
  const int version = (h[1] >> 3) & 0x03;  // 0: 2.5, 1: reserved, 2: 2, 3: 1
  const int layer = (h[1] >> 1) & 0x03;    // 1: Layer III
  const int bitrateIndex = h[2] >> 4;
  const int rateIndex = (h[2] >> 2) & 0x03;
  if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return 0;
  const int rate = kRates[static_cast<std::size_t>(version)][static_cast<std::size_t>(rateIndex)];
  const int padding = (h[2] >> 1) & 0x01;
  *key = (static_cast<std::uint32_t>(h[1]) << 8) | (h[2] & 0x0Cu);
  if (version == 3) return 144 * kMpeg1[static_cast<std::size_t>(bitrateIndex)] * 1000 / rate + padding;
  return 72 * kMpeg2[static_cast<std::size_t>(bitrateIndex)] * 1000 / rate + padding;
}

}  // namespace

bool hasMpegAudioFrames(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const auto fileSize = static_cast<std::uint64_t>(in.tellg());
  std::uint64_t pos = 0;
  for (;;) {  // any number of ID3v2 tags in front of the frames
    char head[10];
    in.clear();
    in.seekg(static_cast<std::streamoff>(pos));
    if (!in.read(head, sizeof head)) break;
    auto tag = id3v2TagSize(std::string_view(head, sizeof head));
    if (!tag) return false;
    if (*tag == 0) break;
    pos += *tag;
  }
  if (pos >= fileSize) return false;
  // Enough bytes for the search window plus the two largest frames that may start in it.
  std::string bytes(
      static_cast<std::size_t>(std::min<std::uint64_t>(fileSize - pos, kMpegSyncSearchBytes + 6000)), '\0');
  in.clear();
  in.seekg(static_cast<std::streamoff>(pos));
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  for (std::size_t i = 0; i + 4 <= bytes.size() && i < kMpegSyncSearchBytes; ++i) {
    std::uint32_t key = 0;
    std::uint32_t nextKey = 0;
    const auto first = static_cast<std::size_t>(mpegFrameBytes(b + i, &key));
    if (first == 0 || i + first + 4 > bytes.size()) continue;
    const auto second = static_cast<std::size_t>(mpegFrameBytes(b + i + first, &nextKey));
    if (second == 0 || nextKey != key) continue;
    return pos + i + first + second <= fileSize;
  }
  return false;
}

bool hasCafAudio(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char header[8];
  if (!in.read(header, sizeof header) || std::string_view(header, 4) != "caff") return false;
  in.seekg(0, std::ios::end);
  const auto fileSize = static_cast<std::uint64_t>(in.tellg());
  bool description = false;
  std::uint64_t pos = sizeof header;
  while (pos + 12 <= fileSize) {
    unsigned char chunk[12];
    in.clear();
    in.seekg(static_cast<std::streamoff>(pos));
    if (!in.read(reinterpret_cast<char*>(chunk), sizeof chunk)) return false;
    const std::string_view type(reinterpret_cast<const char*>(chunk), 4);
    std::uint64_t size = 0;
    for (int i = 4; i < 12; ++i) size = (size << 8) | chunk[i];
    pos += sizeof chunk;
    if (type == "desc") description = true;
    // The data chunk starts with a 4-byte edit count; its size may be -1: "up to the end".
    if (type == "data") return description && fileSize > pos + 4 && (size == ~std::uint64_t{0} || size > 4);
    if (size > fileSize - pos) return false;
    pos += size;
  }
  return false;
}

std::optional<PureHeader> parsePureHeader(std::string_view bytes) {
  // The player's own header reader decides what a PURE stream is, so the station never serves a
  // file the player would refuse.
  const auto header = tonvera::parsePureHeader(
      std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  if (!header) return std::nullopt;
  return PureHeader{header->m_ucBPS, header->m_dwPCMLENGTH};
}

std::optional<PureHeader> readPureHeader(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char bytes[kPureHeaderSize];
  if (!in.read(bytes, sizeof bytes)) return std::nullopt;
  return parsePureHeader(std::string_view(bytes, sizeof bytes));
}

}  // namespace tonvera::station
