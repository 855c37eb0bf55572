#include "platform/audiotoolbox/mp3streamparser.h"

#include <algorithm>
#include <cstring>

#include "platform/audiotoolbox/audiofilestream.h"

namespace tonvera {

namespace {

constexpr int kBitRatesV1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
constexpr int kBitRatesV2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
constexpr int kSampleRatesV1[3] = {44100, 48000, 32000};

// An ID3v2 tag may not claim more than this (the size field's own limit is 256 MB); larger claims
// are taken as garbage.
constexpr std::int64_t kMaxTagBytes = 64 * 1024 * 1024;
// Bytes kept while looking for a sync word: at most a frame plus the next header.
constexpr std::size_t kHeaderBytes = 4;

std::uint32_t readBE32(const std::uint8_t* p) {
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

}  // namespace

std::optional<Mp3FrameHeader> Mp3FrameHeader::parse(const std::uint8_t* p) {
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return std::nullopt;
  const int versionBits = (p[1] >> 3) & 3;
  const int layerBits = (p[1] >> 1) & 3;
  const int bitRateIndex = p[2] >> 4;
  const int sampleRateIndex = (p[2] >> 2) & 3;
  if (versionBits == 1 || layerBits != 1 || bitRateIndex == 0 || bitRateIndex == 15 || sampleRateIndex == 3) {
    return std::nullopt;
  }
  Mp3FrameHeader h;
  h.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 3;
  const bool v1 = h.version == 1;
  h.bitRate = (v1 ? kBitRatesV1 : kBitRatesV2)[bitRateIndex] * 1000;
  h.sampleRate = kSampleRatesV1[sampleRateIndex] >> (h.version - 1);
  h.channels = (p[3] >> 6) == 3 ? 1 : 2;
  h.samplesPerFrame = v1 ? 1152 : 576;
  const int padding = (p[2] >> 1) & 1;
  h.frameBytes = (v1 ? 144 : 72) * h.bitRate / h.sampleRate + padding;
  h.sideInfoBytes = v1 ? (h.channels == 1 ? 17 : 32) : (h.channels == 1 ? 9 : 17);
  // Version, layer, sample rate and mono-ness stay fixed within one stream.
  h.streamKey = (std::uint32_t(p[1]) & 0xFE) << 16 | (std::uint32_t(p[2]) & 0x0C) << 8 | (p[3] >> 6 == 3 ? 1 : 0);
  return h;
}

int Mp3FrameHeader::maxFrameBytes() const {
  return version == 1 ? 144 * 320000 / sampleRate + 1 : 72 * 160000 / sampleRate + 1;
}

std::unique_ptr<StreamFormatParser> makeMp3StreamParser(StreamFormatParser::Output& output) {
  return std::make_unique<Mp3StreamParser>(output);
}

Mp3StreamParser::Mp3StreamParser(Output& output) : StreamFormatParser(output) {}

AudioStatus Mp3StreamParser::parse(const std::uint8_t* data, std::size_t size, bool discontinuity) {
  if (discontinuity) {
    pending_.clear();
    synced_ = false;
    skipBytes_ = 0;
    atStart_ = false;
    positionKnown_ = false;
    tableGrowing_ = false;
  }
  if (size) pending_.insert(pending_.end(), data, data + size);

  std::size_t pos = 0;
  descriptions_.clear();
  std::size_t deliverEnd = 0;
  const std::size_t avail = pending_.size();
  const std::uint8_t* p = pending_.data();

  while (pos < avail) {
    if (skipBytes_ > 0) {
      const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(skipBytes_), avail - pos);
      pos += n;
      skipBytes_ -= static_cast<std::int64_t>(n);
      continue;
    }
    if (atStart_) {
      // Tags before the first frame: "ID3", version, revision, flags, 4 syncsafe size bytes.
      if (avail - pos < 10) {
        if (avail - pos < 3 || std::memcmp(p + pos, "ID3", 3) == 0) break;  // wait for the whole header
      } else if (std::memcmp(p + pos, "ID3", 3) == 0) {
        const std::uint8_t* t = p + pos;
        if ((t[6] | t[7] | t[8] | t[9]) & 0x80) {
          atStart_ = false;  // not a valid tag; treat the bytes as data
          continue;
        }
        std::int64_t tagSize = (std::int64_t(t[6]) << 21) | (std::int64_t(t[7]) << 14) | (t[8] << 7) | t[9];
        tagSize += 10 + ((t[5] & 0x10) ? 10 : 0);
        if (tagSize > kMaxTagBytes) {
          atStart_ = false;
          continue;
        }
        skipBytes_ = tagSize;
        continue;
      }
    }
    if (avail - pos < kHeaderBytes) break;
    const auto header = Mp3FrameHeader::parse(p + pos);
    if (!header || (synced_ && header->streamKey != streamKey_) ||
        (formatKnown_ && header->streamKey != first_.streamKey)) {
      synced_ = false;
      ++pos;
      continue;
    }
    const std::size_t frameBytes = static_cast<std::size_t>(header->frameBytes);
    if (!synced_) {
      // A candidate counts only when another header of the same stream follows it.
      if (avail - pos < frameBytes + kHeaderBytes) break;
      const auto next = Mp3FrameHeader::parse(p + pos + frameBytes);
      if (!next || next->streamKey != header->streamKey) {
        ++pos;
        continue;
      }
      synced_ = true;
      streamKey_ = header->streamKey;
    }
    if (avail - pos < frameBytes) break;
    atStart_ = false;
    bool audio = true;
    if (!formatKnown_) audio = firstFrame(pos, *header);
    if (audio) {
      AudioStreamPacketDescription d;
      d.startOffset = static_cast<std::int64_t>(pos);
      d.dataByteSize = static_cast<std::uint32_t>(frameBytes);
      descriptions_.push_back(d);
      deliverEnd = pos + frameBytes;
      if (tableGrowing_ && positionKnown_) {
        packetOffsets_.push_back(pendingOffset_ + static_cast<std::int64_t>(pos) - dataOffset_);
      }
    }
    pos += frameBytes;
  }

  if (!descriptions_.empty()) {
    if (readyPending_) {
      readyPending_ = false;
      const std::uint32_t ready = 1;
      output().publishProperty(kAudioFileStreamProperty_ReadyToProducePackets, &ready, sizeof ready);
    }
    output().deliverPackets(p, static_cast<std::uint32_t>(deliverEnd), static_cast<std::uint32_t>(descriptions_.size()),
                            descriptions_.data());
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pos));
  pendingOffset_ += static_cast<std::int64_t>(pos);
  return kAudioNoErr;
}

bool Mp3StreamParser::firstFrame(std::size_t pos, const Mp3FrameHeader& header) {
  formatKnown_ = true;
  first_ = header;
  dataOffset_ = positionKnown_ ? pendingOffset_ + static_cast<std::int64_t>(pos) : 0;
  readInfoFrame(pending_.data() + pos, header);

  AudioStreamBasicDescription asbd;
  asbd.sampleRate = header.sampleRate;
  asbd.formatID = kAudioFormatMPEGLayer3;
  asbd.framesPerPacket = static_cast<std::uint32_t>(header.samplesPerFrame);
  asbd.channelsPerFrame = static_cast<std::uint32_t>(header.channels);
  const std::uint32_t fileFormat = kAudioFileMP3Type;
  output().publishProperty(kAudioFileStreamProperty_FileFormat, &fileFormat, sizeof fileFormat);
  output().publishProperty(kAudioFileStreamProperty_DataFormat, &asbd, sizeof asbd);
  output().publishProperty(kAudioFileStreamProperty_DataOffset, &dataOffset_, sizeof dataOffset_);
  if (infoBytes_ > 0) {
    const std::uint64_t count = static_cast<std::uint64_t>(infoBytes_);
    output().publishProperty(kAudioFileStreamProperty_AudioDataByteCount, &count, sizeof count);
  }
  if (infoFrames_ > 0) {
    const std::uint64_t count = static_cast<std::uint64_t>(infoFrames_);
    output().publishProperty(kAudioFileStreamProperty_AudioDataPacketCount, &count, sizeof count);
  }
  const std::uint32_t upperBound = static_cast<std::uint32_t>(header.maxFrameBytes());
  output().publishProperty(kAudioFileStreamProperty_PacketSizeUpperBound, &upperBound, sizeof upperBound);
  // 'redy' follows right before the first packets are handed on.
  readyPending_ = true;
  // An information frame carries no audio.
  return infoFrames_ == 0 && infoBytes_ == 0 && !hasToc_;
}

void Mp3StreamParser::readInfoFrame(const std::uint8_t* frame, const Mp3FrameHeader& header) {
  const std::size_t size = static_cast<std::size_t>(header.frameBytes);
  const std::size_t xing = 4 + static_cast<std::size_t>(header.sideInfoBytes);
  if (xing + 8 <= size && (std::memcmp(frame + xing, "Xing", 4) == 0 || std::memcmp(frame + xing, "Info", 4) == 0)) {
    const std::uint32_t flags = readBE32(frame + xing + 4);
    std::size_t at = xing + 8;
    bool sawField = false;
    if ((flags & 1) && at + 4 <= size) {
      infoFrames_ = readBE32(frame + at);
      at += 4;
      sawField = true;
    }
    if ((flags & 2) && at + 4 <= size) {
      infoBytes_ = readBE32(frame + at);
      at += 4;
      sawField = true;
    }
    if ((flags & 4) && at + 100 <= size) {
      std::memcpy(toc_.data(), frame + at, 100);
      hasToc_ = true;
    }
    // A header with no field still marks the frame as information; count it as one frame.
    if (!sawField && !hasToc_) infoFrames_ = 1;
    return;
  }
  const std::size_t vbri = 4 + 32;
  if (vbri + 18 <= size && std::memcmp(frame + vbri, "VBRI", 4) == 0) {
    infoBytes_ = readBE32(frame + vbri + 10);
    infoFrames_ = readBE32(frame + vbri + 14);
    if (infoFrames_ == 0 && infoBytes_ == 0) infoFrames_ = 1;
  }
}

AudioStatus Mp3StreamParser::seek(std::int64_t packetIndex, std::int64_t* byteOffset, bool* isEstimate) {
  if (!formatKnown_) return kAudioErrNotOptimized;
  if (packetIndex < static_cast<std::int64_t>(packetOffsets_.size())) {
    *byteOffset = packetOffsets_[static_cast<std::size_t>(packetIndex)];
    *isEstimate = false;
    return kAudioNoErr;
  }
  *isEstimate = true;
  if (hasToc_ && infoFrames_ > 0 && infoBytes_ > 0) {
    // The table gives the byte position, in 256ths of the total, of each percent of the duration.
    const double percent = std::clamp(100.0 * double(packetIndex) / double(infoFrames_), 0.0, 99.999);
    const int i = static_cast<int>(percent);
    const double a = toc_[static_cast<std::size_t>(i)];
    const double b = i < 99 ? toc_[static_cast<std::size_t>(i + 1)] : 256.0;
    const double fraction = (a + (b - a) * (percent - i)) / 256.0;
    *byteOffset = static_cast<std::int64_t>(fraction * double(infoBytes_));
    return kAudioNoErr;
  }
  const double bytesPerPacket = double(first_.samplesPerFrame) * first_.bitRate / 8.0 / first_.sampleRate;
  *byteOffset = static_cast<std::int64_t>(double(packetIndex) * bytesPerPacket);
  return kAudioNoErr;
}

}  // namespace tonvera
