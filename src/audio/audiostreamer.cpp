// AudioStreamer: construction, states and their announcement, the control operations, fades,
// errors and the type hints.
#include "audio/audiostreamer.h"

#include <algorithm>
#include <cctype>
#include <thread>

#include "platform/log.h"
#include "platform/mainqueue.h"
#include "platform/notificationcenter.h"

namespace tonvera {

namespace {

constexpr const char* kStateNames[] = {"Idle",    "StartingThread", "WaitingForData", "FlushingAtEnd", "WaitingForQueueStart",
                                       "Playing", "Buffering",      "Stopping",       "Stopped",       "Paused"};

}  // namespace

const char* streamerStateName(StreamerState state) {
  const auto i = static_cast<std::size_t>(state);
  return i < std::size(kStateNames) ? kStateNames[i] : "Unknown";
}

AudioStreamer::AudioStreamer(std::string url, StreamerOptions options)
    : AudioStreamer(makeHttpInput(std::move(url)), std::move(options)) {}

AudioStreamer::AudioStreamer(std::unique_ptr<AudioInput> input, StreamerOptions options)
    : input_(std::move(input)), url_(input_->url()), options_(std::move(options)) {}

AudioStreamer::~AudioStreamer() {
  // Late notifications of this player are dropped from here on.
  alive_.reset();
  shutdown();
  // Normally gone with the clean-up; after a thread that ended early the queue may remain. Its
  // call-backs reach into this player, so it is disposed of before anything else goes.
  std::shared_ptr<AudioQueue> queue;
  {
    std::lock_guard guard(lock_);
    queue = std::move(audioQueue_);
  }
  clockQueue_.store(nullptr);
  if (queue) queue->dispose();
}

void AudioStreamer::shutdown() {
  stop();
  if (internalThread_.joinable() && std::this_thread::get_id() != internalThread_.get_id()) {
    internalThread_.join();
  }
}

StreamerOptions::Clock::time_point AudioStreamer::now() const {
  return options_.now ? options_.now() : StreamerOptions::Clock::now();
}

bool AudioStreamer::isInternalThread() const { return std::this_thread::get_id() == internalThreadId_.load(); }

// ---- state ----

StreamerState AudioStreamer::state() { return state_.load(); }

void AudioStreamer::setState(StreamerState state) {
  std::lock_guard guard(lock_);
  setStateLocked(state);
}

void AudioStreamer::setStateLocked(StreamerState state) {
  if (state_ == state) return;
  state_ = state;
  if (options_.stateEntered) options_.stateEntered(state);
  if (isMainThread()) {
    mainThreadStateNotification();
  } else {
    runOnMain([this, alive = aliveToken_] {
      if (alive.lock()) mainThreadStateNotification();
    });
  }
}

void AudioStreamer::mainThreadStateNotification() {
  NotificationCenter::defaultCenter().post(kASStatusChangedNotification, this);
}

// The read-outs below read atomics only: the main thread never waits for the internal thread.
bool AudioStreamer::isFinishing() {
  const StreamerState s = state_;
  if (errorCode_ != StreamerError::None) return s != StreamerState::Idle;
  return (s == StreamerState::Stopping || s == StreamerState::Stopped) && stopReason_ != StopReason::Temporary;
}

bool AudioStreamer::isWaiting() {
  if (isFinishing()) return true;
  const StreamerState s = state_;
  return s == StreamerState::StartingThread || s == StreamerState::WaitingForData ||
         s == StreamerState::WaitingForQueueStart || s == StreamerState::Buffering;
}

bool AudioStreamer::runLoopShouldExit() {
  if (reConnect_) return false;
  if (errorCode_ != StreamerError::None) return true;
  return state_ == StreamerState::Stopped && stopReason_ != StopReason::Temporary;
}

// ---- plain accessors ----

StreamerError AudioStreamer::errorCode() { return errorCode_; }
void AudioStreamer::setErrorCode(StreamerError code) {
  std::lock_guard guard(lock_);
  errorCode_ = code;
}
std::uint32_t AudioStreamer::bitRate() { return bitRate_; }
void AudioStreamer::setBitRate(std::uint32_t bitRate) { bitRate_ = bitRate; }
HttpHeaderFields AudioStreamer::httpHeaders() {
  std::lock_guard guard(lock_);
  return httpHeaders_;
}
StopReason AudioStreamer::stopReason() { return stopReason_; }
bool AudioStreamer::vbr() { return vbr_; }
std::uint32_t AudioStreamer::numberOfChannels() { return numberOfChannels_; }

// ---- errors ----

void AudioStreamer::failWithErrorCode(StreamerError code) {
  std::lock_guard guard(lock_);
  failLocked(code);
}

void AudioStreamer::failLocked(StreamerError code) {
  if (errorCode_ != StreamerError::None) return;
  errorCode_ = code;
  const StreamerState s = state_;
  if (s == StreamerState::Playing && code == StreamerError::AudioDataNotFound) {
    // The loop ends at the end of its pass and cleans up.
    return;
  }
  if (s == StreamerState::Buffering || s == StreamerState::Paused) {
    setStateLocked(StreamerState::Stopping);
    stopReason_ = StopReason::Error;
    if (audioQueue_) audioQueue_->stop(true);
  }
}

std::string AudioStreamer::stringForErrorCode(std::int32_t code) {
  switch (code) {
    case 0: return "No error.";
    case 1: return "Network connection failed";
    case 2: return "File stream get property failed.";
    case 3: return "File stream seek failed.";
    case 4: return "Parse bytes failed.";
    case 5: return "Open audio file stream failed.";
    case 6: return "Close audio file stream failed.";
    case 7: return "No audio data found.";
    case 8: return "Audio queue creation failed.";
    case 9: return "Audio buffer allocation failed.";
    case 10: return "Queueing of audio buffer failed.";
    case 11: return "Audio queue add listener failed.";
    case 12: return "Audio queue remove listener failed.";
    case 13: return "Audio queue start failed.";
    case 14: return "Audio queue pause failed.";
    case 15: return "Audio queue buffers don't match.";
    case 16: return "Audio queue dispose failed.";
    case 17: return "Audio queue stop failed.";
    case 18: return "Audio queue flush failed.";
    case 20: return "Audio queue get current time failed.";
    case 21: return "Audio packets are larger than kAQDefaultBufSize.";
    default: return "Audio playback failed";
  }
}

// ---- type hints ----

std::uint32_t AudioStreamer::hintForFileExtension(const std::string& extension) {
  if (extension == "mp3") return kAudioFileMP3Type;
  if (extension == "wav") return kAudioFileWAVEType;
  if (extension == "aifc") return kAudioFileAIFCType;
  if (extension == "aiff") return kAudioFileAIFFType;
  if (extension == "m4a") return kAudioFileM4AType;
  if (extension == "mp4") return kAudioFileMPEG4Type;
  if (extension == "caf") return kAudioFileCAFType;
  if (extension == "aac") return kAudioFileAAC_ADTSType;
  if (extension == "pur") return kPureFileType;
  return kAudioFileMP3Type;
}

std::uint32_t AudioStreamer::hintForMIMEType(const std::string& contentType) {
  // Media types are case-insensitive and may carry parameters ("audio/aac; rate=44100"): compare the
  // bare type in lower case.
  std::string mimeType = contentType.substr(0, contentType.find(';'));
  while (!mimeType.empty() && (mimeType.back() == ' ' || mimeType.back() == '\t')) mimeType.pop_back();
  mimeType.erase(0, std::min(mimeType.size(), mimeType.find_first_not_of(" \t")));
  for (char& c : mimeType) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (mimeType == "audio/mpeg") return kAudioFileMP3Type;
  if (mimeType == "audio/x-wav") return kAudioFileWAVEType;
  if (mimeType == "audio/x-aiff") return kAudioFileAIFFType;
  if (mimeType == "audio/x-m4a") return kAudioFileM4AType;
  if (mimeType == "audio/mp4") return kAudioFileMPEG4Type;
  if (mimeType == "audio/x-caf") return kAudioFileCAFType;
  if (mimeType == "audio/aac") return kAudioFileAAC_ADTSType;
  if (mimeType == "audio/aacp") return kAudioFileAAC_ADTSType;
  if (mimeType == "audio/x-pur") return kPureFileType;
  return kAudioFileMP3Type;
}

// ---- control ----

void AudioStreamer::start() {
  if (state_ == StreamerState::Idle) {
    contractAssert(isMainThread(), "Playback can only be started from the main thread.");
    if (!isMainThread()) return;
    // A thread of an earlier run has set Idle as its last act; let it end.
    if (internalThread_.joinable()) internalThread_.join();
  }
  std::lock_guard guard(lock_);
  const StreamerState s = state_;
  if (s == StreamerState::Idle) {
    setStateLocked(StreamerState::StartingThread);
    reConnect_ = false;  // before the thread runs: it reads it from here on
    internalThread_ = std::thread([this] { startInternal(); });
  } else if (s == StreamerState::Paused) {
    resumeLocked();
  }
}

void AudioStreamer::stop() {
  {
    std::lock_guard guard(lock_);
    const StreamerState s = state_;
    if (audioQueue_ && (s == StreamerState::StartingThread || s == StreamerState::WaitingForData ||
                        s == StreamerState::WaitingForQueueStart || s == StreamerState::Playing ||
                        s == StreamerState::Buffering || s == StreamerState::Paused)) {
      fadeoutLocked();
      setStateLocked(StreamerState::Stopping);
      stopReason_ = StopReason::UserAction;
      if (audioQueue_->stop(true)) {
        failLocked(StreamerError::AudioQueueStopFailed);
      } else {
        setStateLocked(StreamerState::Stopped);
      }
    } else if (s != StreamerState::Idle) {
      setStateLocked(StreamerState::Stopped);
      stopReason_ = StopReason::UserAction;
    }
  }
  seekWasRequested_ = false;
  // The internal thread notices at once instead of at the end of its wait.
  wakeInternalThread();
}

void AudioStreamer::pause() {
  std::lock_guard guard(lock_);
  const StreamerState s = state_;
  if (s == StreamerState::Paused) {
    resumeLocked();
  } else if (s == StreamerState::Playing) {
    fadeoutLocked();
    if (!audioQueue_) return;
    // The queue holds where the fade-out ends.
    if (audioQueue_->pause(true)) {
      failLocked(StreamerError::AudioQueuePauseFailed);
    } else {
      queuePausedByCaller_ = true;
      setStateLocked(StreamerState::Paused);
    }
  } else if (s == StreamerState::Stopping && stopReason_ == StopReason::EndOfStream && queuePausedByCaller_ &&
             audioQueue_) {
    // The stream ended while paused: resuming plays the rest, and the track ends after it.
    queuePausedByCaller_ = false;
    rampUpLocked();
    if (audioQueue_->start()) failLocked(StreamerError::AudioQueueStartFailed);
  }
}

void AudioStreamer::resumeLocked() {
  if (!audioQueue_) return;
  // The ramp is asked for before the queue runs again: its first sample already rises from the
  // silence the fade-out ended in.
  rampUpLocked();
  const AudioStatus status = audioQueue_->start();
  queuePausedByCaller_ = false;
  // A stream lost while paused is reopened: the internal thread looks (its back-off may already run).
  resumed_ = true;
  if (status) {
    failLocked(StreamerError::AudioQueueStartFailed);
  } else {
    setStateLocked(StreamerState::Playing);
  }
  wakeInternalThread();
}

void AudioStreamer::togglePause() { fadeout(); }

// The fades are ramps the output queue's thread applies to the samples it writes (no steps to
// hear, and the caller returns at once). The two lines log where each ramp starts and ends.
void AudioStreamer::fadeout() {
  std::lock_guard guard(lock_);
  fadeoutLocked();
}

void AudioStreamer::fadeoutLocked() {
  if (state_ != StreamerState::Playing) return;
  logDebug(lcAudio, "volume:%.2f", 1.0);
  if (audioQueue_) audioQueue_->rampVolume(0.0f, kFadeSeconds);
  logDebug(lcAudio, "volume:%.2f", 0.0);
}

void AudioStreamer::fadein() {
  std::lock_guard guard(lock_);
  fadeinLocked();
}

void AudioStreamer::fadeinLocked() {
  if (state_ != StreamerState::WaitingForQueueStart && state_ != StreamerState::Playing) return;
  rampUpLocked();
}

void AudioStreamer::rampUpLocked() {
  logDebug(lcAudio, "volume:%.2f", 0.0);
  if (audioQueue_) audioQueue_->rampVolume(1.0f, kFadeSeconds);
  logDebug(lcAudio, "volume:%.2f", 1.0);
}

// Without lock_: the request is left for the internal thread, which may be in the middle of a pass.
void AudioStreamer::seekToTime(double seconds) {
  requestedSeekTime_ = seconds;
  seekWasRequested_ = true;
  wakeInternalThread();
}

void AudioStreamer::wakeInternalThread() {
  std::lock_guard guard(runLoopMutex_);
  if (internalRunLoop_) internalRunLoop_->wakeUp();
}

void AudioStreamer::setInternalRunLoop(RunLoop* loop) {
  std::lock_guard guard(runLoopMutex_);
  internalRunLoop_ = loop;
}

}  // namespace tonvera
