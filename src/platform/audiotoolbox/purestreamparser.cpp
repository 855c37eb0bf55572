// PURE: the 16-byte header, then frames of 5 R + 4 bytes (R, the rate byte, from the header), each
// 960 stereo sample frames at 48 kHz. The parser checks the header, publishes the format and hands
// on whole frames, one packet each; a frame cut by the end of the bytes given is held until the
// following bytes complete it, so a stream continued after a lost connection goes on mid-frame.
//
// What it publishes: 'ffmt', 'dfmt' (kAudioFormatPure, 960 frames a packet, packets of one size),
// 'doff' (16), 'pkub' (the frame size), 'mgic' (the header: the decoder takes its rate from it),
// 'brat' and 'edur', then 'redy'. PURE counts its length in decoded PCM (192 bytes a millisecond
// in the header), and its bit rate is given in the same terms: that of the PCM, 1 536 000 bit/s.
//
// Seeks land on the frame that begins the whole second of the packet asked for, and the position
// is counted from the time asked (kAudioFileStreamSeekFlag_KeepsRequestedTime). A header that fails
// its check ends the parse with kAudioErrNoAudioData.
//
// Threads: the thread that drives the owning AudioFileStream.
#include <span>
#include <vector>

#include "audio/g719/pure_format.h"
#include "audio/g719/purecodec.h"
#include "platform/audiotoolbox/audiofilestream.h"
#include "platform/audiotoolbox/containerparsers.h"

namespace tonvera {

namespace {

class PureStreamParser final : public StreamFormatParser {
 public:
  using StreamFormatParser::StreamFormatParser;

  AudioStatus parse(const std::uint8_t* data, std::size_t size, bool /*discontinuity*/) override {
    // The flag alone does not move the position: only seek() does, and the bytes that follow a
    // reopen continue the frame held.
    if (failure_) return failure_;
    if (size) pending_.insert(pending_.end(), data, data + size);
    if (frameBytes_ == 0) {
      if (pending_.size() < kPureHeaderBytes) return kAudioNoErr;
      const std::span<const std::uint8_t> head(pending_.data(), kPureHeaderBytes);
      const auto header = parsePureHeader(head);
      if (!header) {
        pending_.clear();
        return failure_ = kAudioErrNoAudioData;
      }
      frameBytes_ = static_cast<std::uint32_t>(pureFrameBytes(header->m_ucBPS));
      publishFormat(*header, head);
      pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(kPureHeaderBytes));
    }
    const std::size_t frames = pending_.size() / frameBytes_;
    if (frames == 0) return kAudioNoErr;
    descriptions_.resize(frames);
    for (std::size_t i = 0; i < frames; ++i) {
      descriptions_[i] = {.startOffset = std::int64_t(i * frameBytes_), .variableFramesInPacket = 0,
                          .dataByteSize = frameBytes_};
    }
    const std::size_t bytes = frames * frameBytes_;
    output().deliverPackets(pending_.data(), static_cast<std::uint32_t>(bytes), static_cast<std::uint32_t>(frames),
                            descriptions_.data());
    pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(bytes));
    return kAudioNoErr;
  }

  AudioStatus seek(std::int64_t packetIndex, std::int64_t* byteOffset, bool* isEstimate) override {
    if (frameBytes_ == 0) return kAudioErrNotOptimized;
    const std::int64_t frame = packetIndex / kPureFramesPerSecond * kPureFramesPerSecond;
    *byteOffset = frame * std::int64_t(frameBytes_);
    *isEstimate = false;
    pending_.clear();  // the next bytes begin that frame
    return kAudioNoErr;
  }

  bool seeksKeepRequestedTime() const override { return true; }

 private:
  void publishFormat(const PURE_HEADER& header, std::span<const std::uint8_t> head) {
    const std::uint32_t fileFormat = kAudioFilePureType;
    AudioStreamBasicDescription asbd;
    asbd.sampleRate = 48000.0;
    asbd.formatID = kAudioFormatPure;
    asbd.bytesPerPacket = frameBytes_;
    asbd.framesPerPacket = kPureFrameSamples;
    asbd.channelsPerFrame = 2;
    const std::int64_t dataOffset = kPureHeaderBytes;
    const std::uint32_t bitRate = kPureBitRate;
    const double duration = pureDurationMs(header) / 1000.0;
    const std::uint32_t ready = 1;
    output().publishProperty(kAudioFileStreamProperty_FileFormat, &fileFormat, sizeof fileFormat);
    output().publishProperty(kAudioFileStreamProperty_DataFormat, &asbd, sizeof asbd);
    output().publishProperty(kAudioFileStreamProperty_DataOffset, &dataOffset, sizeof dataOffset);
    output().publishProperty(kAudioFileStreamProperty_PacketSizeUpperBound, &frameBytes_, sizeof frameBytes_);
    output().publishProperty(kAudioFileStreamProperty_MagicCookieData, head.data(),
                             static_cast<std::uint32_t>(head.size()));
    output().publishProperty(kAudioFileStreamProperty_BitRate, &bitRate, sizeof bitRate);
    output().publishProperty(kAudioFileStreamProperty_EstimatedDuration, &duration, sizeof duration);
    output().publishProperty(kAudioFileStreamProperty_ReadyToProducePackets, &ready, sizeof ready);
  }

  AudioStatus failure_ = kAudioNoErr;
  std::uint32_t frameBytes_ = 0;  // 0 until the header is read
  std::vector<std::uint8_t> pending_;  // the header while it arrives, then a frame cut short
  std::vector<AudioStreamPacketDescription> descriptions_;
};

}  // namespace

std::unique_ptr<StreamFormatParser> makePureStreamParser(StreamFormatParser::Output& output) {
  return std::make_unique<PureStreamParser>(output);
}

}  // namespace tonvera
