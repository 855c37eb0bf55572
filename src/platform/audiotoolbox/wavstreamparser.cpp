// WAV files: a RIFF header, a "fmt " chunk (integer PCM, IEEE float, or the extensible form of
// either) and a "data" chunk whose bytes pass through as linear PCM. Other chunks are skipped;
// chunks after the data are never read. A data size of 0 or 0xFFFFFFFF (written by a program that
// could not go back to fix it) means "to the end of the stream".
#include <cstring>

#include "platform/audiotoolbox/chunkedstreamparser.h"
#include "platform/audiotoolbox/containerparsers.h"

namespace tonvera {

namespace {

constexpr std::uint16_t kWaveFormatPcm = 1;
constexpr std::uint16_t kWaveFormatFloat = 3;
constexpr std::uint16_t kWaveFormatExtensible = 0xFFFE;
constexpr std::size_t kMaxFmtBytes = 1024;

class WavStreamParser final : public ChunkedStreamParser {
 public:
  using ChunkedStreamParser::ChunkedStreamParser;

 private:
  std::size_t fileHeaderBytes() const override { return 12; }

  AudioStatus readFileHeader(const std::uint8_t* p) override {
    if (std::memcmp(p, "RIFF", 4) != 0 || std::memcmp(p + 8, "WAVE", 4) != 0) return kAudioErrInvalidFile;
    return kAudioNoErr;
  }

  AudioStatus readChunkHeader(const std::uint8_t* p, std::size_t avail, ChunkHeader* out,
                              std::size_t* need) override {
    if (avail < 8) {
      *need = 8;
      return kAudioNoErr;
    }
    out->id = readBE32(p);
    out->payloadSize = readLE32(p + 4);
    out->headerBytes = 8;
    out->padToEven = true;
    if (out->id == fourcc("data") && (out->payloadSize == 0 || out->payloadSize == 0xFFFFFFFF))
      out->payloadSize = -1;
    return kAudioNoErr;
  }

  ChunkAction actionFor(const ChunkHeader& chunk, std::size_t* limit) override {
    if (chunk.id == fourcc("fmt ")) {
      *limit = kMaxFmtBytes;
      return ChunkAction::Keep;
    }
    return chunk.id == fourcc("data") ? ChunkAction::Audio : ChunkAction::Skip;
  }

  AudioStatus readChunk(std::uint32_t, const std::uint8_t* p, std::size_t size) override {
    if (size < 16) return kAudioErrInvalidFile;
    std::uint16_t tag = readLE16(p);
    const std::uint32_t channels = readLE16(p + 2);
    const std::uint32_t rate = readLE32(p + 4);
    const std::uint32_t blockAlign = readLE16(p + 12);
    const std::uint32_t bits = readLE16(p + 14);
    if (tag == kWaveFormatExtensible) {
      // cbSize, valid bits, channel mask, then the sub-format GUID whose first two bytes are the tag.
      if (size < 40) return kAudioErrInvalidFile;
      tag = readLE16(p + 24);
    }
    if (tag != kWaveFormatPcm && tag != kWaveFormatFloat) return fourcc("fmt?");
    if (channels == 0 || channels > kMaxChannels || rate == 0 || rate > kMaxSampleRate) return fourcc("fmt?");
    if (blockAlign == 0 || blockAlign % channels) return fourcc("fmt?");
    const std::uint32_t bytes = blockAlign / channels;
    const bool isFloat = tag == kWaveFormatFloat;
    if (isFloat ? (bytes != 4 && bytes != 8) : (bytes < 1 || bytes > 4)) return fourcc("fmt?");
    if (bits == 0 || bits > bytes * 8) return fourcc("fmt?");

    asbd_ = AudioStreamBasicDescription{};
    asbd_.sampleRate = rate;
    asbd_.formatID = kAudioFormatLinearPCM;
    // 8-bit WAV samples are unsigned; wider ones are signed.
    asbd_.formatFlags = kAudioFormatFlagIsPacked | (isFloat     ? kAudioFormatFlagIsFloat
                                                    : bytes > 1 ? kAudioFormatFlagIsSignedInteger
                                                                : 0);
    asbd_.bytesPerPacket = blockAlign;
    asbd_.framesPerPacket = 1;
    asbd_.bytesPerFrame = blockAlign;
    asbd_.channelsPerFrame = channels;
    asbd_.bitsPerChannel = bits;
    haveFormat_ = true;
    return kAudioNoErr;
  }

  AudioStatus startAudio(const ChunkHeader&, const std::uint8_t*, std::int64_t start,
                         std::int64_t size) override {
    if (!haveFormat_) return kAudioErrInvalidFile;
    startFrames(start, size, asbd_.bytesPerFrame);
    publishBasics(kAudioFileWAVEType, asbd_, start, size, size < 0 ? -1 : size / asbd_.bytesPerFrame, 0);
    publishReady();
    return kAudioNoErr;
  }

  AudioStreamBasicDescription asbd_{};
  bool haveFormat_ = false;
};

}  // namespace

std::unique_ptr<StreamFormatParser> makeWavStreamParser(StreamFormatParser::Output& output) {
  return std::make_unique<WavStreamParser>(output);
}

}  // namespace tonvera
