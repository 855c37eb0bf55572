// PURE frames to interleaved 16-bit stereo at 48 kHz: one packet is one frame (5 R + 4 bytes),
// decoded by the G.719 channel decoders into 960 sample frames. The rate R comes from the stream's
// header, handed over as the magic cookie.
#include <algorithm>
#include <array>
#include <span>

#include "audio/g719/pure_format.h"
#include "audio/g719/purecodec.h"
#include "platform/audiotoolbox/audiodecoder.h"

namespace tonvera {

namespace {

class PureDecoder final : public AudioDecoder {
 public:
  explicit PureDecoder(std::unique_ptr<PURE_CODEC_HANDLE> codec) : codec_(std::move(codec)) {
    outputRate_ = 48000;
    outputChannels_ = 2;
  }

  bool decode(const std::uint8_t* data, std::size_t size, std::vector<std::int16_t>& out) override {
    const std::size_t frameBytes = static_cast<std::size_t>(pureFrameBytes(codec_->rate));
    if (size != frameBytes) return true;  // not a frame: nothing to hear
    // Descrambling works in place: on a copy of the packet.
    std::copy(data, data + size, frame_.begin());
    const std::size_t start = out.size();
    out.resize(start + kPureFramePcmSamples);
    return pureDecodeFrame(codec_.get(), std::span(frame_.data(), size),
                           std::span<std::int16_t, kPureFramePcmSamples>(out.data() + start, kPureFramePcmSamples));
  }
  void drain(std::vector<std::int16_t>&) override {}
  // The channels' overlap is kept across a jump, as the frames of a stream always carried it: the
  // first frame after a seek still overlaps the audio heard before it.
  void reset() override {}

 private:
  const std::unique_ptr<PURE_CODEC_HANDLE> codec_;
  std::array<std::uint8_t, kPureMaxFrameBytes> frame_{};
};

std::optional<PURE_HEADER> headerOf(const std::vector<std::uint8_t>& cookie) {
  if (cookie.size() < kPureHeaderBytes) return std::nullopt;
  return parsePureHeader(std::span(cookie.data(), kPureHeaderBytes));
}

}  // namespace

bool pureCanDecode(const AudioStreamBasicDescription& format) {
  return format.formatID == kAudioFormatPure && format.sampleRate == 48000.0 && format.channelsPerFrame == 2;
}

std::unique_ptr<AudioDecoder> makePureDecoder(const AudioStreamBasicDescription& format,
                                              const std::vector<std::uint8_t>& magicCookie) {
  if (!pureCanDecode(format)) return nullptr;
  const auto header = headerOf(magicCookie);
  if (!header) return nullptr;
  auto codec = pureCodecCreate(&*header);
  if (!codec) return nullptr;
  return std::make_unique<PureDecoder>(std::move(codec));
}

}  // namespace tonvera
