#include "platform/audiotoolbox/aacconfig.h"

namespace tonvera {

namespace {

constexpr int kSampleRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                  22050, 16000, 12000, 11025, 8000,  7350};

// Reads bits most-significant first; reading past the end yields zeros and marks the reader bad.
class BitReader {
 public:
  BitReader(const std::uint8_t* p, std::size_t size) : p_(p), bits_(size * 8) {}
  std::uint32_t read(int n) {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
      v <<= 1;
      if (at_ < bits_) {
        v |= (p_[at_ >> 3] >> (7 - (at_ & 7))) & 1u;
      } else {
        bad_ = true;
      }
      ++at_;
    }
    return v;
  }
  std::size_t left() const { return at_ < bits_ ? bits_ - at_ : 0; }
  bool bad() const { return bad_; }

 private:
  const std::uint8_t* p_;
  std::size_t bits_;
  std::size_t at_ = 0;
  bool bad_ = false;
};

int readObjectType(BitReader& r) {
  const int type = static_cast<int>(r.read(5));
  return type == 31 ? 32 + static_cast<int>(r.read(6)) : type;
}

int readSampleRate(BitReader& r) {
  const unsigned index = r.read(4);
  return index == 15 ? static_cast<int>(r.read(24)) : aacSampleRate(index);
}

bool isGeneralAudio(int type) {
  return (type >= 1 && type <= 4) || type == 6 || type == 7 || type == 17 || (type >= 19 && type <= 23);
}

int channelsOf(unsigned config) { return config == 7 ? 8 : config <= 6 ? static_cast<int>(config) : -1; }

AudioFormatListItem item(std::uint32_t formatID, std::uint32_t flags, double rate, std::uint32_t frames,
                         std::uint32_t channels) {
  AudioFormatListItem it;
  it.asbd.sampleRate = rate;
  it.asbd.formatID = formatID;
  it.asbd.formatFlags = flags;
  it.asbd.framesPerPacket = frames;
  it.asbd.channelsPerFrame = channels;
  return it;
}

// A descriptor's tag and length (1 to 4 bytes of 7 bits each). False when it does not fit.
bool readDescriptor(const std::uint8_t* p, std::size_t size, std::size_t* at, int* tag, std::size_t* length) {
  if (*at >= size) return false;
  *tag = p[(*at)++];
  std::size_t len = 0;
  for (int i = 0; i < 4; ++i) {
    if (*at >= size) return false;
    const std::uint8_t b = p[(*at)++];
    len = len << 7 | (b & 0x7F);
    if (!(b & 0x80)) break;
    if (i == 3) return false;
  }
  if (len > size - *at) return false;
  *length = len;
  return true;
}

}  // namespace

int aacSampleRate(unsigned index) { return index < 13 ? kSampleRates[index] : 0; }

std::optional<AacConfig> parseAudioSpecificConfig(const std::uint8_t* p, std::size_t size) {
  if (!p || size < 2) return std::nullopt;
  BitReader r(p, size);
  AacConfig c;
  c.objectType = readObjectType(r);
  c.sampleRate = readSampleRate(r);
  const unsigned channelConfig = r.read(4);
  bool explicitExtension = false;
  if (c.objectType == 5 || c.objectType == 29) {
    explicitExtension = true;
    c.sbr = true;
    c.ps = c.objectType == 29;
    c.extensionSampleRate = readSampleRate(r);
    c.objectType = readObjectType(r);
    if (c.objectType == 22) r.read(4);
  }
  c.channels = channelsOf(channelConfig);
  if (c.channels < 0 || c.sampleRate <= 0 || c.sampleRate > 768000 || !isGeneralAudio(c.objectType)) {
    return std::nullopt;
  }
  c.frameLength = r.read(1) ? 960 : 1024;
  if (r.read(1)) r.read(14);  // depends on a core coder: its delay
  const bool extensionFlag = r.read(1);
  if (channelConfig == 0) {
    // A program config element follows; the channel count comes from the container.
    return r.bad() ? std::nullopt : std::optional<AacConfig>(c);
  }
  if (c.objectType == 6 || c.objectType == 20) r.read(3);
  if (extensionFlag) {
    if (c.objectType == 22) r.read(16);
    if (c.objectType == 17 || c.objectType == 19 || c.objectType == 20 || c.objectType == 23) r.read(3);
    r.read(1);
  }
  if (r.bad()) return std::nullopt;
  // Backward-compatible signalling after the core configuration.
  if (!explicitExtension && r.left() >= 16) {
    if (r.read(11) == 0x2B7) {
      if (readObjectType(r) == 5 && r.read(1)) {
        c.sbr = true;
        c.extensionSampleRate = readSampleRate(r);
        if (r.left() >= 12 && r.read(11) == 0x548) c.ps = r.read(1) != 0;
      }
    }
  }
  if (c.extensionSampleRate < 0 || c.extensionSampleRate > 768000) c.extensionSampleRate = 0;
  if (r.bad() && c.sbr && c.extensionSampleRate == 0) c.sbr = c.ps = false;
  return c;
}

std::vector<AudioFormatListItem> aacFormatList(const AacConfig& c) {
  std::vector<AudioFormatListItem> list;
  const double core = c.sampleRate;
  const std::uint32_t frames = static_cast<std::uint32_t>(c.frameLength);
  const std::uint32_t channels = static_cast<std::uint32_t>(c.channels);
  if (c.sbr) {
    const double rate = c.extensionSampleRate > 0 ? c.extensionSampleRate : 2 * core;
    // The extension doubles the frames of a packet when it doubles the rate.
    const std::uint32_t extFrames = rate >= 2 * core ? 2 * frames : frames;
    if (c.ps && channels == 1) list.push_back(item(kAudioFormatMPEG4AAC_HE_V2, 29, rate, extFrames, 2));
    list.push_back(item(kAudioFormatMPEG4AAC_HE, 5, rate, extFrames, channels));
  }
  list.push_back(
      item(kAudioFormatMPEG4AAC, static_cast<std::uint32_t>(c.objectType), core, frames, channels));
  return list;
}

std::optional<std::vector<std::uint8_t>> decoderSpecificInfo(const std::uint8_t* p, std::size_t size) {
  std::size_t at = 0;
  int tag = 0;
  std::size_t length = 0;
  if (!readDescriptor(p, size, &at, &tag, &length) || tag != 3 || length < 3) return std::nullopt;
  const std::size_t esEnd = at + length;
  const std::uint8_t flags = p[at + 2];
  at += 3;
  if (flags & 0x80) at += 2;                           // depends on another stream
  if (flags & 0x40) at += at < esEnd ? 1 + p[at] : 1;  // URL
  if (flags & 0x20) at += 2;                           // OCR stream
  // The decoder configuration (tag 4), then its specific information (tag 5).
  while (at < esEnd) {
    if (!readDescriptor(p, esEnd, &at, &tag, &length)) return std::nullopt;
    if (tag != 4) {
      at += length;
      continue;
    }
    const std::size_t configEnd = at + length;
    if (length < 13) return std::nullopt;
    at += 13;  // object type, stream type, buffer size, bit rates
    while (at < configEnd) {
      if (!readDescriptor(p, configEnd, &at, &tag, &length)) return std::nullopt;
      if (tag == 5) return std::vector<std::uint8_t>(p + at, p + at + length);
      at += length;
    }
    return std::nullopt;
  }
  return std::nullopt;
}

std::optional<AdtsHeader> AdtsHeader::parse(const std::uint8_t* p) {
  if (p[0] != 0xFF || (p[1] & 0xF6) != 0xF0) return std::nullopt;  // sync word, layer 0
  AdtsHeader h;
  h.objectType = (p[2] >> 6) + 1;
  h.sampleRate = aacSampleRate((p[2] >> 2) & 0xF);
  const unsigned channelConfig = ((p[2] & 1u) << 2) | (p[3] >> 6);
  h.channels = channelsOf(channelConfig);
  h.headerBytes = (p[1] & 1) ? 7 : 9;
  h.frameBytes = (std::uint32_t(p[3] & 3) << 11) | (std::uint32_t(p[4]) << 3) | (p[5] >> 5);
  h.rawBlocks = (p[6] & 3) + 1;
  if (h.sampleRate == 0 || h.channels <= 0 || h.objectType == 4 || h.frameBytes <= h.headerBytes) {
    return std::nullopt;
  }
  h.streamKey = std::uint32_t(p[1] & 0xF9) << 16 | std::uint32_t(p[2] & 0xFD) << 8 | (p[3] & 0xC0);
  return h;
}

}  // namespace tonvera
