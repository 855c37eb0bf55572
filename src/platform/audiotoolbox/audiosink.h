#pragma once
// Where the output queue's PCM goes: interleaved signed 16-bit samples at a fixed rate and channel
// count. Backends: PulseAudio ("pulse", the default), ALSA ("alsa" for the default device,
// "alsa:DEVICE" for another, e.g. "alsa:hw:0,0"), a WAV file ("wav:PATH") and "null". The WAV and
// null sinks take data as fast as it comes unless ":realtime" is appended ("null:realtime",
// "wav:/tmp/x.wav:realtime"), which paces them like a sound card. The choice comes from the
// environment variable TONVERA_AUDIO_SINK.
//
// Fallback: the default tries PulseAudio, then ALSA's default device, then the null sink paced in
// real time; a named ALSA device or WAV file that cannot be opened falls back to the paced null
// sink. A fallback never plays faster than real time. One line names the sink in use.
//
// Threads: write(), discard() and drain() are called by the one thread that feeds the sink (the
// queue's output thread); latencyFrames(), setPaused() and interrupt() may be called from any
// thread.

#include <cstddef>
#include <cstdint>
#include <functional>
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
  // Makes a write() or drain() that waits for the "device" return at once, and the ones after it
  // until the next discard(): what they were given counts as written. For a feeder that stops or
  // goes away. Sinks whose waits are bounded by a device period need not do anything. Never calls
  // back into the feeder (the output queue calls it under its own lock).
  virtual void interrupt() {}
};

// Which backend a TONVERA_AUDIO_SINK value names.
struct AudioSinkChoice {
  enum class Kind { Pulse, Alsa, Wav, Null };
  Kind kind = Kind::Pulse;
  std::string path;      // for Wav; the device for Alsa (empty: the default device)
  bool realtime = false; // pace a Wav or Null sink like a device
  bool valid = true;     // false: the text named no backend (the null sink is used)
};
AudioSinkChoice parseAudioSinkChoice(const std::string& text);

// The backends (one file each).
std::unique_ptr<AudioSink> openNullSink();
// Nothing when the file cannot be created.
std::unique_ptr<AudioSink> openWavSink(const std::string& path, int sampleRate, int channels);
// Nothing when the server cannot be reached; `error` gets the reason.
std::unique_ptr<AudioSink> openPulseSink(int sampleRate, int channels, std::string* error);
// Nothing when the device (empty: "default") cannot be opened for the format; `error` gets the
// reason.
std::unique_ptr<AudioSink> openAlsaSink(const std::string& device, int sampleRate, int channels, std::string* error);
// Paces `inner` like a device playing `sampleRate` frames a second.
std::unique_ptr<AudioSink> makeRealtimeSink(std::unique_ptr<AudioSink> inner, int sampleRate);

// The device backends the fallback order tries (replaceable, so that a test can make one fail).
struct AudioSinkOpeners {
  std::function<std::unique_ptr<AudioSink>(int, int, std::string*)> pulse = openPulseSink;
  std::function<std::unique_ptr<AudioSink>(const std::string&, int, int, std::string*)> alsa = openAlsaSink;
};
struct OpenedAudioSink {
  std::unique_ptr<AudioSink> sink;  // never null
  std::string name;                 // the sink in use: "pulse", "alsa:default", "null:realtime", ...
  std::string fallbackReason;       // why the sink asked for is not the one in use; empty when it is
};
OpenedAudioSink openAudioSink(const AudioSinkChoice& choice, int sampleRate, int channels,
                              const AudioSinkOpeners& openers);

// Opens the sink named by TONVERA_AUDIO_SINK (empty, unset or naming no sink: the default order)
// and logs the line naming the sink in use (once per process for each sink). Never null.
std::unique_ptr<AudioSink> openAudioSink(int sampleRate, int channels);

}  // namespace tonvera
