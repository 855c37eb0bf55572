// The WAV sink: a canonical 44-byte RIFF header and the PCM exactly as it was played. The sizes
// in the header are brought up to date after every write, so the file is valid at any moment.
#include <cstdio>
#include <cstring>

#include "platform/audiotoolbox/audiosink.h"

namespace tonvera {

namespace {

void putLE32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void putLE16(unsigned char* p, std::uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}

class WavSink final : public AudioSink {
 public:
  WavSink(std::FILE* file, int sampleRate, int channels) : file_(file), rate_(sampleRate), channels_(channels) {
    writeHeader();
  }
  ~WavSink() override {
    writeHeader();
    std::fclose(file_);
  }

  bool write(const std::int16_t* samples, std::size_t frames) override {
    const std::size_t bytes = frames * static_cast<std::size_t>(channels_) * 2;
    // RIFF sizes are 32-bit: stop growing the file rather than write a header that lies.
    if (dataBytes_ + bytes > 0xFFFFFFF0u - 36u) return true;
    std::fseek(file_, 0, SEEK_END);
    if (std::fwrite(samples, 1, bytes, file_) != bytes) return false;
    dataBytes_ += bytes;
    writeHeader();
    return true;
  }
  std::int64_t latencyFrames() override { return 0; }
  void discard() override {}
  void drain() override { std::fflush(file_); }

 private:
  void writeHeader() {
    unsigned char h[44];
    std::memcpy(h, "RIFF", 4);
    putLE32(h + 4, static_cast<std::uint32_t>(36 + dataBytes_));
    std::memcpy(h + 8, "WAVEfmt ", 8);
    putLE32(h + 16, 16);
    putLE16(h + 20, 1);  // integer PCM
    putLE16(h + 22, static_cast<std::uint16_t>(channels_));
    putLE32(h + 24, static_cast<std::uint32_t>(rate_));
    putLE32(h + 28, static_cast<std::uint32_t>(rate_ * channels_ * 2));
    putLE16(h + 32, static_cast<std::uint16_t>(channels_ * 2));
    putLE16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    putLE32(h + 40, static_cast<std::uint32_t>(dataBytes_));
    std::fseek(file_, 0, SEEK_SET);
    std::fwrite(h, 1, sizeof h, file_);
    std::fflush(file_);
  }

  std::FILE* file_;
  const int rate_;
  const int channels_;
  std::size_t dataBytes_ = 0;
};

}  // namespace

std::unique_ptr<AudioSink> openWavSink(const std::string& path, int sampleRate, int channels) {
  std::FILE* f = std::fopen(path.c_str(), "w+b");
  if (!f) return nullptr;
  return std::make_unique<WavSink>(f, sampleRate, channels);
}

}  // namespace tonvera
