// CAF files: the "caff" header, then chunks with 64-bit sizes: 'desc' (the data format), 'kuki'
// (the codec configuration), 'pakt' (the sizes of variable-size packets) and 'data'. Linear PCM
// passes through; AAC and Apple Lossless are delivered packet by packet from the packet table,
// which must come before the data for the file to stream.
#include <algorithm>
#include <cstring>

#include "platform/audiotoolbox/aacconfig.h"
#include "platform/audiotoolbox/audiofilestream.h"
#include "platform/audiotoolbox/chunkedstreamparser.h"
#include "platform/audiotoolbox/containerparsers.h"

namespace tonvera {

namespace {

constexpr std::size_t kMaxCookieBytes = 64 * 1024;
constexpr std::size_t kMaxPacketTableBytes = 8 * 1024 * 1024;
constexpr std::uint32_t kCafFlagIsFloat = 1;
constexpr std::uint32_t kCafFlagIsLittleEndian = 2;

// A variable-length number of the packet table: 7 bits a byte, high bit set on all but the last.
bool readVarint(const std::uint8_t* p, std::size_t size, std::size_t* at, std::uint64_t* value) {
  std::uint64_t v = 0;
  for (int i = 0; i < 9; ++i) {
    if (*at >= size) return false;
    const std::uint8_t b = p[(*at)++];
    v = v << 7 | (b & 0x7F);
    if (!(b & 0x80)) {
      *value = v;
      return true;
    }
  }
  return false;
}

// The 36-byte 'alac' atom the decoder takes, from a CAF cookie (the bare 24-byte configuration,
// or atoms around it).
std::vector<std::uint8_t> alacAtom(const std::vector<std::uint8_t>& cookie) {
  for (std::size_t i = 4; i + 32 <= cookie.size(); ++i) {
    if (std::memcmp(cookie.data() + i, "alac", 4) == 0 && readBE32(cookie.data() + i - 4) == 36) {
      return std::vector<std::uint8_t>(cookie.begin() + static_cast<std::ptrdiff_t>(i - 4),
                                       cookie.begin() + static_cast<std::ptrdiff_t>(i + 32));
    }
  }
  if (cookie.size() != 24) return {};
  std::vector<std::uint8_t> atom = {0, 0, 0, 36, 'a', 'l', 'a', 'c', 0, 0, 0, 0};
  atom.insert(atom.end(), cookie.begin(), cookie.end());
  return atom;
}

class CafStreamParser final : public ChunkedStreamParser {
 public:
  using ChunkedStreamParser::ChunkedStreamParser;

 private:
  std::size_t fileHeaderBytes() const override { return 8; }

  AudioStatus readFileHeader(const std::uint8_t* p) override {
    if (std::memcmp(p, "caff", 4) != 0 || readBE16(p + 4) != 1) return kAudioErrInvalidFile;
    return kAudioNoErr;
  }

  AudioStatus readChunkHeader(const std::uint8_t* p, std::size_t avail, ChunkHeader* out,
                              std::size_t* need) override {
    if (avail < 12) {
      *need = 12;
      return kAudioNoErr;
    }
    out->id = readBE32(p);
    out->payloadSize = static_cast<std::int64_t>(readBE64(p + 4));
    out->headerBytes = 12;
    if (out->payloadSize < -1 || (out->payloadSize == -1 && out->id != fourcc("data")))
      return kAudioErrInvalidFile;
    return kAudioNoErr;
  }

  ChunkAction actionFor(const ChunkHeader& chunk, std::size_t* limit) override {
    switch (chunk.id) {
      case fourcc("desc"):
        *limit = 64;
        return ChunkAction::Keep;
      case fourcc("kuki"):
        *limit = kMaxCookieBytes;
        return ChunkAction::Keep;
      case fourcc("pakt"):
        *limit = kMaxPacketTableBytes;
        return ChunkAction::Keep;
      case fourcc("data"):
        return ChunkAction::Audio;
      default:
        return ChunkAction::Skip;
    }
  }

  AudioStatus readChunk(std::uint32_t id, const std::uint8_t* p, std::size_t size) override {
    if (id == fourcc("desc")) return readDescription(p, size);
    if (id == fourcc("kuki")) {
      cookie_.assign(p, p + size);
      return kAudioNoErr;
    }
    return readPacketTable(p, size);
  }

  AudioStatus readDescription(const std::uint8_t* p, std::size_t size) {
    if (size < 32) return kAudioErrInvalidFile;
    std::uint64_t rateBits = readBE64(p);
    double rate;
    std::memcpy(&rate, &rateBits, sizeof rate);
    desc_ = AudioStreamBasicDescription{};
    desc_.sampleRate = rate;
    desc_.formatID = readBE32(p + 8);
    desc_.formatFlags = readBE32(p + 12);
    desc_.bytesPerPacket = readBE32(p + 16);
    desc_.framesPerPacket = readBE32(p + 20);
    desc_.channelsPerFrame = readBE32(p + 24);
    desc_.bitsPerChannel = readBE32(p + 28);
    if (!(rate >= 1.0 && rate <= kMaxSampleRate) || desc_.channelsPerFrame == 0 ||
        desc_.channelsPerFrame > kMaxChannels) {
      return fourcc("fmt?");
    }
    haveDesc_ = true;
    return kAudioNoErr;
  }

  AudioStatus readPacketTable(const std::uint8_t* p, std::size_t size) {
    if (size < 24 || !haveDesc_) return kAudioErrInvalidFile;
    const std::uint64_t declared = readBE64(p);
    if (declared > kMaxPackets) return kAudioErrInvalidFile;
    std::size_t at = 24;
    sizes_.clear();
    sizes_.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(declared, size)));
    // Entries that are not there (a table shorter than it says) are left out.
    for (std::uint64_t i = 0; i < declared; ++i) {
      std::uint64_t bytes = desc_.bytesPerPacket;
      std::uint64_t frames = 0;
      if (desc_.bytesPerPacket == 0 && !readVarint(p, size, &at, &bytes)) break;
      if (desc_.framesPerPacket == 0 && !readVarint(p, size, &at, &frames)) break;
      if (bytes > kMaxPacketBytes) return kAudioErrInvalidFile;
      sizes_.push_back(static_cast<std::uint32_t>(bytes));
    }
    havePacketTable_ = true;
    return kAudioNoErr;
  }

  std::size_t audioPrefixBytes(std::uint32_t) const override { return 4; }  // edit count

  AudioStatus startAudio(const ChunkHeader&, const std::uint8_t*, std::int64_t start,
                         std::int64_t size) override {
    if (!haveDesc_) return kAudioErrInvalidFile;
    if (desc_.formatID == kAudioFormatLinearPCM) return startPcm(start, size);
    if (desc_.bytesPerPacket == 0 || desc_.framesPerPacket == 0) {
      // Variable-size packets can only be found with the table; one that follows the data cannot
      // be had while streaming.
      if (!havePacketTable_) return kAudioErrNotOptimized;
      return startCompressed(start, size);
    }
    // Constant-size packets: passed on as they come.
    AudioStreamBasicDescription asbd = desc_;
    startFrames(start, size, asbd.bytesPerPacket);
    publishBasics(kAudioFileCAFType, asbd, start, size, size < 0 ? -1 : size / asbd.bytesPerPacket, 0);
    publishReady();
    return kAudioNoErr;
  }

  AudioStatus startPcm(std::int64_t start, std::int64_t size) {
    AudioStreamBasicDescription asbd = desc_;
    const bool isFloat = desc_.formatFlags & kCafFlagIsFloat;
    const std::uint32_t bits = desc_.bitsPerChannel;
    const std::uint32_t bytes = (bits + 7) / 8;
    if (bits == 0 || (isFloat ? (bytes != 4 && bytes != 8) : bytes > 4) ||
        desc_.bytesPerPacket != bytes * desc_.channelsPerFrame || desc_.framesPerPacket != 1) {
      return fourcc("fmt?");
    }
    asbd.formatFlags = kAudioFormatFlagIsPacked |
                       (isFloat ? kAudioFormatFlagIsFloat : kAudioFormatFlagIsSignedInteger) |
                       ((desc_.formatFlags & kCafFlagIsLittleEndian) ? 0 : kAudioFormatFlagIsBigEndian);
    asbd.bytesPerFrame = asbd.bytesPerPacket;
    startFrames(start, size, asbd.bytesPerFrame);
    publishBasics(kAudioFileCAFType, asbd, start, size, size < 0 ? -1 : size / asbd.bytesPerFrame, 0);
    publishReady();
    return kAudioNoErr;
  }

  AudioStatus startCompressed(std::int64_t start, std::int64_t size) {
    std::vector<AudioFormatListItem> list;
    std::vector<std::uint8_t> cookie;
    AudioStreamBasicDescription asbd = desc_;
    const std::uint32_t id = desc_.formatID;
    if (id == kAudioFormatMPEG4AAC || id == kAudioFormatMPEG4AAC_HE || id == kAudioFormatMPEG4AAC_HE_V2) {
      // The descriptor alone, or after the four bytes of version and flags of an 'esds' box.
      auto asc = decoderSpecificInfo(cookie_.data(), cookie_.size());
      if (!asc && cookie_.size() > 4) asc = decoderSpecificInfo(cookie_.data() + 4, cookie_.size() - 4);
      if (!asc) asc = cookie_;
      auto config = parseAudioSpecificConfig(asc->data(), asc->size());
      if (!config) return fourcc("fmt?");
      if (config->channels == 0) config->channels = static_cast<int>(desc_.channelsPerFrame);
      list = aacFormatList(*config);
      asbd = list.back().asbd;
      cookie = std::move(*asc);
    } else if (id == kAudioFormatAppleLossless) {
      cookie = alacAtom(cookie_);
      if (cookie.empty()) return fourcc("fmt?");
    }
    // The packets in the order of the table, back to back from the start of the audio; entries
    // past the end of the data are dropped.
    std::vector<std::int64_t> offsets;
    std::vector<std::uint32_t> sizes;
    offsets.reserve(sizes_.size());
    std::int64_t at = start;
    std::uint32_t largest = 0;
    for (std::uint32_t bytes : sizes_) {
      if (size >= 0 && at + bytes > start + size) break;
      offsets.push_back(at);
      sizes.push_back(bytes);
      largest = std::max(largest, bytes);
      at += bytes;
    }
    const std::int64_t count = static_cast<std::int64_t>(offsets.size());
    startPackets(std::move(offsets), std::move(sizes));
    publishBasics(kAudioFileCAFType, asbd, start, at - start, count, largest);
    if (!list.empty()) {
      publish(kAudioFileStreamProperty_FormatList, list.data(),
              static_cast<std::uint32_t>(list.size() * sizeof(AudioFormatListItem)));
    }
    if (!cookie.empty()) {
      publish(kAudioFileStreamProperty_MagicCookieData, cookie.data(),
              static_cast<std::uint32_t>(cookie.size()));
    }
    publishReady();
    return kAudioNoErr;
  }

  AudioStreamBasicDescription desc_{};
  bool haveDesc_ = false;
  bool havePacketTable_ = false;
  std::vector<std::uint8_t> cookie_;
  std::vector<std::uint32_t> sizes_;
};

}  // namespace

std::unique_ptr<StreamFormatParser> makeCafStreamParser(StreamFormatParser::Output& output) {
  return std::make_unique<CafStreamParser>(output);
}

}  // namespace tonvera
