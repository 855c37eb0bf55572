// The PulseAudio sink (also served by PipeWire's PulseAudio server), through the simple API.
#include <pulse/error.h>
#include <pulse/simple.h>

#include "platform/audiotoolbox/audiosink.h"

namespace tonvera {

namespace {

struct SimpleDeleter {
  void operator()(pa_simple* s) const { pa_simple_free(s); }
};

class PulseSink final : public AudioSink {
 public:
  PulseSink(pa_simple* stream, int sampleRate) : stream_(stream), rate_(sampleRate) {}

  bool write(const std::int16_t* samples, std::size_t frames) override {
    (void)frames;
    int error = 0;
    return pa_simple_write(stream_.get(), samples, frames * frameBytes_, &error) == 0;
  }
  std::int64_t latencyFrames() override {
    int error = 0;
    const pa_usec_t usec = pa_simple_get_latency(stream_.get(), &error);
    if (usec == static_cast<pa_usec_t>(-1)) return 0;
    return static_cast<std::int64_t>(usec * static_cast<pa_usec_t>(rate_) / 1000000u);
  }
  void discard() override {
    int error = 0;
    pa_simple_flush(stream_.get(), &error);
  }
  void drain() override {
    int error = 0;
    pa_simple_drain(stream_.get(), &error);
  }
  void setFrameBytes(std::size_t bytes) { frameBytes_ = bytes; }

 private:
  std::unique_ptr<pa_simple, SimpleDeleter> stream_;
  const int rate_;
  std::size_t frameBytes_ = 4;
};

}  // namespace

std::unique_ptr<AudioSink> openPulseSink(int sampleRate, int channels, std::string* error) {
  pa_sample_spec spec;
  spec.format = PA_SAMPLE_S16LE;
  spec.rate = static_cast<std::uint32_t>(sampleRate);
  spec.channels = static_cast<std::uint8_t>(channels);
  if (!pa_sample_spec_valid(&spec)) {
    if (error) *error = "unsupported sample format";
    return nullptr;
  }
  // About 200 ms in the server: enough against scheduling hiccups, short enough for pause and seek.
  pa_buffer_attr attr;
  attr.maxlength = static_cast<std::uint32_t>(-1);
  attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(200000, &spec));
  attr.prebuf = static_cast<std::uint32_t>(-1);
  attr.minreq = static_cast<std::uint32_t>(-1);
  attr.fragsize = static_cast<std::uint32_t>(-1);
  int code = 0;
  pa_simple* s = pa_simple_new(nullptr, "Tonvera", PA_STREAM_PLAYBACK, nullptr, "Music", &spec, nullptr, &attr, &code);
  if (!s) {
    if (error) *error = pa_strerror(code);
    return nullptr;
  }
  auto sink = std::make_unique<PulseSink>(s, sampleRate);
  sink->setFrameBytes(static_cast<std::size_t>(channels) * 2);
  return sink;
}

}  // namespace tonvera
