// Chooses the sink backend from TONVERA_AUDIO_SINK, with the fallback order for the default:
// PulseAudio, then ALSA's default device, then the null sink paced in real time.
#include <cstdlib>
#include <mutex>
#include <set>

#include "platform/audiotoolbox/audiosink.h"
#include "platform/log.h"

namespace tonvera {

namespace {

// One line per sink name and reason, however many queues a process makes.
void logOnce(const std::string& line) {
  static std::mutex mutex;
  static std::set<std::string> logged;
  {
    std::lock_guard lock(mutex);
    if (!logged.insert(line).second) return;
  }
  log(lcAudio, "%s", line.c_str());
}

}  // namespace

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
  } else if (rest == "alsa") {
    choice.kind = AudioSinkChoice::Kind::Alsa;
  } else if (rest.rfind("alsa:", 0) == 0 && rest.size() > 5) {
    choice.kind = AudioSinkChoice::Kind::Alsa;
    choice.path = rest.substr(5);
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
  AudioSinkChoice choice = parseAudioSinkChoice(text);
  if (!choice.valid) {
    logOnce("TONVERA_AUDIO_SINK '" + text + "' names no sink; using the default order");
    choice = AudioSinkChoice{};
  }
  OpenedAudioSink opened = openAudioSink(choice, sampleRate, channels, AudioSinkOpeners{});
  logOnce("audio sink: " + opened.name + (opened.fallbackReason.empty() ? "" : " (" + opened.fallbackReason + ")"));
  return std::move(opened.sink);
}

OpenedAudioSink openAudioSink(const AudioSinkChoice& choice, int sampleRate, int channels,
                              const AudioSinkOpeners& openers) {
  OpenedAudioSink out;
  std::string error;
  switch (choice.kind) {
    case AudioSinkChoice::Kind::Pulse:
      out.sink = openers.pulse ? openers.pulse(sampleRate, channels, &error) : nullptr;
      if (out.sink) {
        out.name = "pulse";
        return out;
      }
      out.fallbackReason = "PulseAudio: " + error;
      // The default order goes on with ALSA's default device.
      error.clear();
      out.sink = openers.alsa ? openers.alsa("", sampleRate, channels, &error) : nullptr;
      if (out.sink) {
        out.name = "alsa:default";
        return out;
      }
      out.fallbackReason += "; ALSA: " + error;
      break;
    case AudioSinkChoice::Kind::Alsa: {
      const std::string device = choice.path.empty() ? "default" : choice.path;
      out.sink = openers.alsa ? openers.alsa(device, sampleRate, channels, &error) : nullptr;
      if (out.sink) {
        out.name = "alsa:" + device;
        return out;
      }
      out.fallbackReason = "ALSA " + device + ": " + error;
      break;
    }
    case AudioSinkChoice::Kind::Wav:
      out.sink = openWavSink(choice.path, sampleRate, channels);
      if (out.sink) {
        out.name = "wav:" + choice.path;
        break;
      }
      out.fallbackReason = "cannot write the WAV file " + choice.path;
      break;
    case AudioSinkChoice::Kind::Null:
      out.sink = openNullSink();
      out.name = "null";
      break;
  }
  if (!out.sink) {
    // A fallback never plays faster than a sound card would: a track takes its own length, and
    // whatever follows the track (reports, the next fetch) comes at its normal pace.
    out.sink = makeRealtimeSink(openNullSink(), sampleRate);
    out.name = "null:realtime";
    return out;
  }
  if (choice.realtime && (choice.kind == AudioSinkChoice::Kind::Null || choice.kind == AudioSinkChoice::Kind::Wav)) {
    out.sink = makeRealtimeSink(std::move(out.sink), sampleRate);
    out.name += ":realtime";
  }
  return out;
}

}  // namespace tonvera
