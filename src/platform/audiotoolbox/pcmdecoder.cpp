// Linear PCM to interleaved signed 16-bit: 8-bit (unsigned, or signed when flagged), 16, 24 and
// 32-bit integers and 32/64-bit floats, either byte order. Interleaved data only.
#include <cmath>
#include <cstring>

#include "platform/audiotoolbox/audiodecoder.h"

namespace tonvera {

namespace {

class PcmDecoder final : public AudioDecoder {
 public:
  explicit PcmDecoder(const AudioStreamBasicDescription& f)
      : bits_(static_cast<int>(f.bitsPerChannel)),
        bytesPerSample_(static_cast<int>(f.bytesPerFrame / f.channelsPerFrame)),
        channels_(static_cast<int>(f.channelsPerFrame)),
        isFloat_(f.formatFlags & kAudioFormatFlagIsFloat),
        bigEndian_(f.formatFlags & kAudioFormatFlagIsBigEndian),
        isSigned_(f.formatFlags & kAudioFormatFlagIsSignedInteger) {
    outputRate_ = static_cast<int>(f.sampleRate);
    outputChannels_ = channels_;
  }

  bool decode(const std::uint8_t* data, std::size_t size, std::vector<std::int16_t>& out) override {
    const std::size_t frameBytes = static_cast<std::size_t>(bytesPerSample_) * static_cast<std::size_t>(channels_);
    // A frame split between two calls is completed from the carry.
    std::size_t used = 0;
    if (!carry_.empty()) {
      const std::size_t need = frameBytes - carry_.size();
      const std::size_t take = need < size ? need : size;
      carry_.insert(carry_.end(), data, data + take);
      used = take;
      if (carry_.size() < frameBytes) return true;
      convert(carry_.data(), frameBytes, out);
      carry_.clear();
    }
    const std::size_t whole = (size - used) / frameBytes * frameBytes;
    convert(data + used, whole, out);
    carry_.assign(data + used + whole, data + size);
    return true;
  }
  void drain(std::vector<std::int16_t>&) override { carry_.clear(); }
  void reset() override { carry_.clear(); }

 private:
  void convert(const std::uint8_t* p, std::size_t bytes, std::vector<std::int16_t>& out) {
    const std::size_t samples = bytes / static_cast<std::size_t>(bytesPerSample_);
    const std::size_t start = out.size();
    out.resize(start + samples);
    std::int16_t* o = out.data() + start;
    for (std::size_t i = 0; i < samples; ++i, p += bytesPerSample_) o[i] = sample(p);
  }

  std::int16_t sample(const std::uint8_t* p) const {
    std::uint8_t b[8];
    for (int i = 0; i < bytesPerSample_; ++i) b[i] = bigEndian_ ? p[bytesPerSample_ - 1 - i] : p[i];  // little-endian now
    if (isFloat_) {
      double v;
      if (bytesPerSample_ == 4) {
        float f;
        std::memcpy(&f, b, 4);
        v = f;
      } else {
        std::memcpy(&v, b, 8);
      }
      if (std::isnan(v)) v = 0;
      const double s = std::lrint(v * 32768.0);
      return static_cast<std::int16_t>(s > 32767 ? 32767 : s < -32768 ? -32768 : s);
    }
    if (bytesPerSample_ == 1) return static_cast<std::int16_t>((isSigned_ ? int(std::int8_t(b[0])) : int(b[0]) - 128) * 256);
    // The top 16 bits of the sample.
    const int top = bytesPerSample_ - 1;
    return static_cast<std::int16_t>((std::uint16_t(b[top]) << 8) | b[top - 1]);
  }

  const int bits_;
  const int bytesPerSample_;
  const int channels_;
  const bool isFloat_;
  const bool bigEndian_;
  const bool isSigned_;
  std::vector<std::uint8_t> carry_;
};

}  // namespace

bool pcmCanDecode(const AudioStreamBasicDescription& f) {
  if (f.formatID != kAudioFormatLinearPCM || f.channelsPerFrame == 0 || f.sampleRate <= 0) return false;
  if (f.formatFlags & kAudioFormatFlagIsNonInterleaved) return false;
  if (f.bytesPerFrame == 0 || f.bytesPerFrame % f.channelsPerFrame) return false;
  const std::uint32_t bytes = f.bytesPerFrame / f.channelsPerFrame;
  if (f.formatFlags & kAudioFormatFlagIsFloat) return bytes == 4 || bytes == 8;
  return bytes >= 1 && bytes <= 4;
}

std::unique_ptr<AudioDecoder> makePcmDecoder(const AudioStreamBasicDescription& format) {
  if (!pcmCanDecode(format)) return nullptr;
  return std::make_unique<PcmDecoder>(format);
}

}  // namespace tonvera
