// AIFF and AIFC files: a FORM header, a COMM chunk (channels, frames, sample size, rate as an
// 80-bit extended number; AIFC adds the compression type) and an SSND chunk whose samples pass
// through as linear PCM. AIFF samples are big-endian signed integers; AIFC adds little-endian
// integers ('sowt'), floats ('fl32', 'fl64') and unsigned bytes ('raw ').
#include <cmath>
#include <cstring>

#include "platform/audiotoolbox/chunkedstreamparser.h"
#include "platform/audiotoolbox/containerparsers.h"

namespace tonvera {

namespace {

constexpr std::size_t kMaxCommBytes = 1024;

// An 80-bit IEEE extended number (sign, 15-bit exponent, 64-bit mantissa with its integer bit).
double readExtended(const std::uint8_t* p) {
  const int exponent = ((p[0] & 0x7F) << 8) | p[1];
  const std::uint64_t mantissa = readBE64(p + 2);
  if (exponent == 0x7FFF) return 0.0;  // infinity or not a number: no usable rate
  const double value = std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
  return (p[0] & 0x80) ? -value : value;
}

class AiffStreamParser final : public ChunkedStreamParser {
 public:
  using ChunkedStreamParser::ChunkedStreamParser;

 private:
  std::size_t fileHeaderBytes() const override { return 12; }

  AudioStatus readFileHeader(const std::uint8_t* p) override {
    if (std::memcmp(p, "FORM", 4) != 0) return kAudioErrInvalidFile;
    if (std::memcmp(p + 8, "AIFF", 4) == 0) {
      aifc_ = false;
    } else if (std::memcmp(p + 8, "AIFC", 4) == 0) {
      aifc_ = true;
    } else {
      return kAudioErrInvalidFile;
    }
    return kAudioNoErr;
  }

  AudioStatus readChunkHeader(const std::uint8_t* p, std::size_t avail, ChunkHeader* out,
                              std::size_t* need) override {
    if (avail < 8) {
      *need = 8;
      return kAudioNoErr;
    }
    out->id = readBE32(p);
    out->payloadSize = readBE32(p + 4);
    out->headerBytes = 8;
    out->padToEven = true;
    return kAudioNoErr;
  }

  ChunkAction actionFor(const ChunkHeader& chunk, std::size_t* limit) override {
    if (chunk.id == fourcc("COMM")) {
      *limit = kMaxCommBytes;
      return ChunkAction::Keep;
    }
    return chunk.id == fourcc("SSND") ? ChunkAction::Audio : ChunkAction::Skip;
  }

  AudioStatus readChunk(std::uint32_t, const std::uint8_t* p, std::size_t size) override {
    if (size < 18 || (aifc_ && size < 22)) return kAudioErrInvalidFile;
    const std::uint32_t channels = readBE16(p);
    frames_ = readBE32(p + 2);
    std::uint32_t bits = readBE16(p + 6);
    const double rate = readExtended(p + 8);
    const std::uint32_t compression = aifc_ ? readBE32(p + 18) : fourcc("NONE");
    if (channels == 0 || channels > kMaxChannels || !(rate >= 1.0 && rate <= kMaxSampleRate))
      return fourcc("fmt?");

    std::uint32_t flags =
        kAudioFormatFlagIsPacked | kAudioFormatFlagIsBigEndian | kAudioFormatFlagIsSignedInteger;
    if (compression == fourcc("sowt")) {
      flags = kAudioFormatFlagIsPacked | kAudioFormatFlagIsSignedInteger;
    } else if (compression == fourcc("fl32") || compression == fourcc("FL32")) {
      flags = kAudioFormatFlagIsPacked | kAudioFormatFlagIsBigEndian | kAudioFormatFlagIsFloat;
      bits = 32;
    } else if (compression == fourcc("fl64") || compression == fourcc("FL64")) {
      flags = kAudioFormatFlagIsPacked | kAudioFormatFlagIsBigEndian | kAudioFormatFlagIsFloat;
      bits = 64;
    } else if (compression == fourcc("raw ")) {
      flags = kAudioFormatFlagIsPacked;  // unsigned bytes
      bits = 8;
    } else if (compression == fourcc("in24")) {
      bits = 24;
    } else if (compression == fourcc("in32")) {
      bits = 32;
    } else if (compression != fourcc("NONE") && compression != fourcc("twos")) {
      return fourcc("fmt?");
    }
    if (bits == 0 || bits > 64) return fourcc("fmt?");
    const std::uint32_t bytes = (bits + 7) / 8;
    if ((flags & kAudioFormatFlagIsFloat) ? (bytes != 4 && bytes != 8) : bytes > 4) return fourcc("fmt?");

    asbd_ = AudioStreamBasicDescription{};
    asbd_.sampleRate = rate;
    asbd_.formatID = kAudioFormatLinearPCM;
    asbd_.formatFlags = flags;
    asbd_.bytesPerPacket = bytes * channels;
    asbd_.framesPerPacket = 1;
    asbd_.bytesPerFrame = bytes * channels;
    asbd_.channelsPerFrame = channels;
    asbd_.bitsPerChannel = bits;
    haveFormat_ = true;
    return kAudioNoErr;
  }

  std::size_t audioPrefixBytes(std::uint32_t) const override { return 8; }

  AudioStatus startAudio(const ChunkHeader&, const std::uint8_t* prefix, std::int64_t start,
                         std::int64_t size) override {
    if (!haveFormat_) return kAudioErrInvalidFile;
    // The samples start `offset` bytes into the chunk's data (block alignment).
    const std::uint32_t offset = readBE32(prefix);
    if (size >= 0 && offset > size) return kAudioErrInvalidFile;
    start += offset;
    std::int64_t count = size < 0 ? -1 : size - offset;
    const std::int64_t declared = std::int64_t(frames_) * asbd_.bytesPerFrame;
    if (count < 0 || declared < count) count = declared;
    startFrames(start, count, asbd_.bytesPerFrame);
    publishBasics(aifc_ ? kAudioFileAIFCType : kAudioFileAIFFType, asbd_, start, count,
                  count / asbd_.bytesPerFrame, 0);
    publishReady();
    return kAudioNoErr;
  }

  bool aifc_ = false;
  bool haveFormat_ = false;
  std::uint32_t frames_ = 0;
  AudioStreamBasicDescription asbd_{};
};

}  // namespace

std::unique_ptr<StreamFormatParser> makeAiffStreamParser(StreamFormatParser::Output& output) {
  return std::make_unique<AiffStreamParser>(output);
}

}  // namespace tonvera
