// ADTS streams (AAC in Audio Data Transport Stream frames, as radio streams send it): ID3v2 tags
// at the start are skipped, frames are found by their sync word (the first one confirmed by the
// header that follows it), and every frame, header included, is handed on as one packet; the
// decoder reads its configuration from the header. HE-AAC in ADTS is signalled only inside the
// frames: the format says the core rate, and the decoder outputs the full rate it finds.
#include <algorithm>
#include <cstring>

#include "platform/audiotoolbox/aacconfig.h"
#include "platform/audiotoolbox/audiofilestream.h"
#include "platform/audiotoolbox/containerparsers.h"

namespace tonvera {

namespace {

constexpr std::size_t kHeaderBytes = 7;
constexpr std::int64_t kMaxTagBytes = 64 * 1024 * 1024;
constexpr std::size_t kMaxKnownPackets = std::size_t(1) << 22;
// An AAC frame holds at most 6144 bits per channel; the largest ADTS frame is 8191 bytes.
constexpr std::uint32_t kMaxBytesPerChannel = 6144 / 8;
constexpr std::uint32_t kMaxFrameBytes = 8191;

class AdtsStreamParser final : public StreamFormatParser {
 public:
  using StreamFormatParser::StreamFormatParser;

  AudioStatus parse(const std::uint8_t* data, std::size_t size, bool discontinuity) override {
    if (repositioned_) {
      repositioned_ = false;  // seek() has set where these bytes come from
    } else if (discontinuity) {
      pending_.clear();
      synced_ = false;
      atStart_ = false;
      skipBytes_ = 0;
      positionKnown_ = false;
    }
    if (size) pending_.insert(pending_.end(), data, data + size);

    const std::uint8_t* p = pending_.data();
    const std::size_t avail = pending_.size();
    std::size_t pos = 0;
    std::size_t deliverEnd = 0;
    descriptions_.clear();
    while (pos < avail) {
      if (skipBytes_ > 0) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::int64_t>(skipBytes_, std::int64_t(avail - pos)));
        pos += n;
        skipBytes_ -= static_cast<std::int64_t>(n);
        continue;
      }
      if (atStart_) {
        if (avail - pos < 10) {
          if (avail - pos < 3 || std::memcmp(p + pos, "ID3", 3) == 0) break;
        } else if (std::memcmp(p + pos, "ID3", 3) == 0) {
          const std::uint8_t* t = p + pos;
          if ((t[6] | t[7] | t[8] | t[9]) & 0x80) {
            atStart_ = false;
            continue;
          }
          const std::int64_t tag =
              ((std::int64_t(t[6]) << 21) | (std::int64_t(t[7]) << 14) | (t[8] << 7) | t[9]) + 10 +
              ((t[5] & 0x10) ? 10 : 0);
          if (tag > kMaxTagBytes) {
            atStart_ = false;
            continue;
          }
          skipBytes_ = tag;
          continue;
        }
      }
      if (avail - pos < kHeaderBytes) break;
      const auto header = AdtsHeader::parse(p + pos);
      if (!header || (synced_ && header->streamKey != streamKey_) ||
          (formatKnown_ && header->streamKey != firstKey_)) {
        synced_ = false;
        ++pos;
        continue;
      }
      const std::size_t frame = header->frameBytes;
      if (!synced_) {
        // A candidate counts only when the next header of the same stream follows it.
        if (avail - pos < frame + kHeaderBytes) break;
        const auto next = AdtsHeader::parse(p + pos + frame);
        if (!next || next->streamKey != header->streamKey) {
          ++pos;
          continue;
        }
        synced_ = true;
        streamKey_ = header->streamKey;
      }
      if (avail - pos < frame) break;
      atStart_ = false;
      if (!formatKnown_) firstFrame(pos, *header);
      AudioStreamPacketDescription d;
      d.startOffset = static_cast<std::int64_t>(pos);
      d.dataByteSize = static_cast<std::uint32_t>(frame);
      descriptions_.push_back(d);
      deliverEnd = pos + frame;
      notePacket(pendingOffset_ + static_cast<std::int64_t>(pos), frame);
      pos += frame;
    }
    if (!descriptions_.empty()) {
      output().deliverPackets(p, static_cast<std::uint32_t>(deliverEnd),
                              static_cast<std::uint32_t>(descriptions_.size()), descriptions_.data());
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pos));
    pendingOffset_ += static_cast<std::int64_t>(pos);
    return kAudioNoErr;
  }

  AudioStatus seek(std::int64_t packetIndex, std::int64_t* byteOffset, bool* isEstimate) override {
    if (!formatKnown_) return kAudioErrNotOptimized;
    if (packetIndex < static_cast<std::int64_t>(known_.size())) {
      // A frame already seen: exact, and the bytes that follow are expected from it on.
      *byteOffset = known_[static_cast<std::size_t>(packetIndex)];
      *isEstimate = false;
      pending_.clear();
      pendingOffset_ = dataOffset_ + *byteOffset;
      positionKnown_ = true;
      synced_ = true;
      skipBytes_ = 0;
      nextIndex_ = packetIndex;
      repositioned_ = true;
      return kAudioNoErr;
    }
    // Beyond: the average frame so far.
    const double average = packets_ ? double(bytes_) / double(packets_) : double(firstBytes_);
    *byteOffset = static_cast<std::int64_t>(
        double(std::min<std::int64_t>(packetIndex, std::int64_t(1) << 40)) * average);
    *isEstimate = true;
    return kAudioNoErr;
  }

 private:
  void firstFrame(std::size_t pos, const AdtsHeader& header) {
    formatKnown_ = true;
    firstKey_ = header.streamKey;
    firstBytes_ = header.frameBytes;
    dataOffset_ = positionKnown_ ? pendingOffset_ + static_cast<std::int64_t>(pos) : 0;
    nextIndex_ = positionKnown_ ? 0 : -1;

    AudioStreamBasicDescription asbd;
    asbd.sampleRate = header.sampleRate;
    asbd.formatID = kAudioFormatMPEG4AAC;
    asbd.formatFlags = static_cast<std::uint32_t>(header.objectType);
    asbd.framesPerPacket = 1024u * static_cast<std::uint32_t>(header.rawBlocks);
    asbd.channelsPerFrame = static_cast<std::uint32_t>(header.channels);
    const std::uint32_t fileFormat = kAudioFileAAC_ADTSType;
    const std::uint32_t upperBound = std::min(
        kMaxFrameBytes, kMaxBytesPerChannel * asbd.channelsPerFrame * std::uint32_t(header.rawBlocks) + 9);
    output().publishProperty(kAudioFileStreamProperty_FileFormat, &fileFormat, sizeof fileFormat);
    output().publishProperty(kAudioFileStreamProperty_DataFormat, &asbd, sizeof asbd);
    output().publishProperty(kAudioFileStreamProperty_DataOffset, &dataOffset_, sizeof dataOffset_);
    output().publishProperty(kAudioFileStreamProperty_PacketSizeUpperBound, &upperBound, sizeof upperBound);
    const std::uint32_t ready = 1;
    output().publishProperty(kAudioFileStreamProperty_ReadyToProducePackets, &ready, sizeof ready);
  }

  // Records a frame at absolute offset `at`: the average for estimates, and the exact offset of
  // frames whose index is known.
  void notePacket(std::int64_t at, std::size_t size) {
    ++packets_;
    bytes_ += static_cast<std::int64_t>(size);
    if (!positionKnown_ || nextIndex_ < 0) return;
    if (nextIndex_ == static_cast<std::int64_t>(known_.size()) && known_.size() < kMaxKnownPackets) {
      known_.push_back(at - dataOffset_);
    }
    ++nextIndex_;
  }

  std::vector<std::uint8_t> pending_;
  std::int64_t pendingOffset_ = 0;  // stream offset of pending_[0]
  bool positionKnown_ = true;       // false after a discontinuity that seek() did not announce
  bool repositioned_ = false;
  std::int64_t skipBytes_ = 0;
  bool atStart_ = true;
  bool synced_ = false;
  std::uint32_t streamKey_ = 0;

  bool formatKnown_ = false;
  std::uint32_t firstKey_ = 0;
  std::uint32_t firstBytes_ = 0;
  std::int64_t dataOffset_ = 0;
  std::int64_t packets_ = 0;
  std::int64_t bytes_ = 0;
  // Offsets (from the data offset) of frames 0, 1, 2, ... as far as they were seen in order.
  std::vector<std::int64_t> known_;
  std::int64_t nextIndex_ = 0;  // index of the next frame (-1: unknown)
  std::vector<AudioStreamPacketDescription> descriptions_;
};

}  // namespace

std::unique_ptr<StreamFormatParser> makeAdtsStreamParser(StreamFormatParser::Output& output) {
  return std::make_unique<AdtsStreamParser>(output);
}

}  // namespace tonvera
