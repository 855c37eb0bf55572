#pragma once
// Where the output queue's PCM goes: interleaved signed 16-bit samples at a fixed rate and channel
// count. Backends: PulseAudio ("pulse", the default), a WAV file ("wav:PATH") and "null". The WAV
// and null sinks take data as fast as it comes unless ":realtime" is appended ("null:realtime",
// "wav:/tmp/x.wav:realtime"), which paces them like a sound card. The choice comes from the
// environment variable TONVERA_AUDIO_SINK.
//
// Threads: write(), discard() and drain() are called by the one thread that feeds the sink (the
// queue's output thread); latencyFrames() and setPaused() may be called from any thread.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tonvera {

class AudioSink {
 public:
  virtual ~AudioSink() = default;
  // Blocks while a real-time sink has no room. False when the device failed.
  virtual bool write(const std::int16_t* samples, std::size_t frames) = 0;
  // Frames written but not heard yet.
  virtual std::int64_t latencyFrames() = 0;
  // Drops whatever is written but not heard.
  virtual void discard() = 0;
  // Returns when everything written has been heard.
  virtual void drain() = 0;
  // Paused sinks play nothing; real-time pacing holds its clock meanwhile.
  virtual void setPaused(bool) {}
};

// Which backend a TONVERA_AUDIO_SINK value names.
struct AudioSinkChoice {
  enum class Kind { Pulse, Wav, Null };
  Kind kind = Kind::Pulse;
  std::string path;      // for Wav
  bool realtime = false; // pace a Wav or Null sink like a device
  bool valid = true;     // false: the text named no backend (the null sink is used)
};
AudioSinkChoice parseAudioSinkChoice(const std::string& text);

// Opens the sink named by TONVERA_AUDIO_SINK (empty or unset: PulseAudio). When PulseAudio cannot
// be reached one line is logged (once per process) and a null sink is answered instead. Never
// null.
std::unique_ptr<AudioSink> openAudioSink(int sampleRate, int channels);
std::unique_ptr<AudioSink> openAudioSink(const AudioSinkChoice& choice, int sampleRate, int channels);

// The backends (one file each).
std::unique_ptr<AudioSink> openNullSink();
// Nothing when the file cannot be created.
std::unique_ptr<AudioSink> openWavSink(const std::string& path, int sampleRate, int channels);
// Nothing when the server cannot be reached; `error` gets the reason.
std::unique_ptr<AudioSink> openPulseSink(int sampleRate, int channels, std::string* error);
// Paces `inner` like a device playing `sampleRate` frames a second.
std::unique_ptr<AudioSink> makeRealtimeSink(std::unique_ptr<AudioSink> inner, int sampleRate);

}  // namespace tonvera
