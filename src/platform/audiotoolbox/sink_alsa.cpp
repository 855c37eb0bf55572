// The ALSA sink: plays through an ALSA PCM device ("default" unless one is named), for desktops
// without a PulseAudio server. Writes block while the device's buffer is full, so the sink is paced
// by the sound card itself.
#include <alsa/asoundlib.h>

#include <mutex>

#include "platform/audiotoolbox/audiosink.h"

namespace tonvera {

namespace {

// ALSA's library prints its own lines on stderr when a device is missing; the reason is returned
// to the caller instead, who names the sink in use in one line.
void quietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

struct PcmCloser {
  void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};

class AlsaSink final : public AudioSink {
 public:
  AlsaSink(snd_pcm_t* pcm, int channels) : pcm_(pcm), channels_(channels) {}

  bool write(const std::int16_t* samples, std::size_t frames) override {
    while (frames > 0) {
      const snd_pcm_sframes_t n = snd_pcm_writei(pcm_.get(), samples, frames);
      if (n < 0) {
        // An underrun (or a suspend) is recovered and the write tried again; anything else is a
        // failed device.
        if (snd_pcm_recover(pcm_.get(), static_cast<int>(n), 1) < 0) return false;
        continue;
      }
      frames -= static_cast<std::size_t>(n);
      samples += static_cast<std::size_t>(n) * static_cast<std::size_t>(channels_);
    }
    return true;
  }
  std::int64_t latencyFrames() override {
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(pcm_.get(), &delay) < 0 || delay < 0) return 0;
    return delay;
  }
  void discard() override {
    snd_pcm_drop(pcm_.get());
    snd_pcm_prepare(pcm_.get());
  }
  void drain() override {
    snd_pcm_drain(pcm_.get());
    snd_pcm_prepare(pcm_.get());
  }

 private:
  std::unique_ptr<snd_pcm_t, PcmCloser> pcm_;
  const int channels_;
};

}  // namespace

std::unique_ptr<AudioSink> openAlsaSink(const std::string& device, int sampleRate, int channels, std::string* error) {
  static std::once_flag quiet;
  std::call_once(quiet, [] { snd_lib_error_set_handler(quietAlsaErrors); });
  const std::string name = device.empty() ? "default" : device;
  snd_pcm_t* pcm = nullptr;
  int code = snd_pcm_open(&pcm, name.c_str(), SND_PCM_STREAM_PLAYBACK, 0);
  if (code < 0) {
    if (error) *error = snd_strerror(code);
    return nullptr;
  }
  std::unique_ptr<snd_pcm_t, PcmCloser> owned(pcm);
  // About 200 ms in the device, as with PulseAudio; ALSA resamples when the card needs it.
  code = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED,
                            static_cast<unsigned>(channels), static_cast<unsigned>(sampleRate), 1, 200000);
  if (code < 0) {
    if (error) *error = snd_strerror(code);
    return nullptr;
  }
  return std::make_unique<AlsaSink>(owned.release(), channels);
}

}  // namespace tonvera
