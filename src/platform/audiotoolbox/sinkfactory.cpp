// Chooses the sink backend from TONVERA_AUDIO_SINK.
#include <atomic>
#include <cstdlib>

#include "platform/audiotoolbox/audiosink.h"
#include "platform/log.h"

namespace tonvera {

AudioSinkChoice parseAudioSinkChoice(const std::string& text) {
  AudioSinkChoice choice;
  std::string rest = text;
  const std::string suffix = ":realtime";
  if (rest.size() > suffix.size() && rest.compare(rest.size() - suffix.size(), suffix.size(), suffix) == 0) {
    choice.realtime = true;
    rest.resize(rest.size() - suffix.size());
  }
  if (rest.empty() || rest == "pulse") {
    choice.kind = AudioSinkChoice::Kind::Pulse;
  } else if (rest == "null") {
    choice.kind = AudioSinkChoice::Kind::Null;
  } else if (rest.rfind("wav:", 0) == 0 && rest.size() > 4) {
    choice.kind = AudioSinkChoice::Kind::Wav;
    choice.path = rest.substr(4);
  } else {
    choice.kind = AudioSinkChoice::Kind::Null;
    choice.valid = false;
  }
  return choice;
}

std::unique_ptr<AudioSink> openAudioSink(int sampleRate, int channels) {
  const char* env = std::getenv("TONVERA_AUDIO_SINK");
  const std::string text = env ? env : "";
  const AudioSinkChoice choice = parseAudioSinkChoice(text);
  if (!choice.valid) {
    static std::atomic<bool> logged{false};
    if (!logged.exchange(true)) log("TONVERA_AUDIO_SINK '%s' names no sink; using the null sink", text.c_str());
  }
  return openAudioSink(choice, sampleRate, channels);
}

std::unique_ptr<AudioSink> openAudioSink(const AudioSinkChoice& choice, int sampleRate, int channels) {
  std::unique_ptr<AudioSink> sink;
  switch (choice.kind) {
    case AudioSinkChoice::Kind::Pulse: {
      std::string error;
      sink = openPulseSink(sampleRate, channels, &error);
      if (sink) return sink;
      static std::atomic<bool> logged{false};
      if (!logged.exchange(true)) log("PulseAudio unreachable (%s); using the null sink", error.c_str());
      sink = openNullSink();
      break;
    }
    case AudioSinkChoice::Kind::Wav:
      sink = openWavSink(choice.path, sampleRate, channels);
      if (!sink) {
        log("cannot write the WAV file %s; using the null sink", choice.path.c_str());
        sink = openNullSink();
      }
      break;
    case AudioSinkChoice::Kind::Null:
      sink = openNullSink();
      break;
  }
  if (choice.realtime) sink = makeRealtimeSink(std::move(sink), sampleRate);
  return sink;
}

}  // namespace tonvera
