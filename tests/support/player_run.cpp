#include "main_loop.h"
#include "player_run.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "platform/mainqueue.h"

namespace tonvera::test {

StreamerOptions StateLog::options(StreamerOptions base) {
  base.stateEntered = [this](StreamerState state) {
    std::lock_guard lock(mutex_);
    transitions_.push_back(state);
  };
  return base;
}

std::vector<StreamerState> StateLog::transitions() {
  std::lock_guard lock(mutex_);
  return transitions_;
}

std::vector<std::int64_t> SeekRecordingFiler::seekOffsets() {
  std::lock_guard guard(lock_);
  return offsets_;
}

void SeekRecordingFiler::internalSeekToTime(double seconds) {
  AudioFiler::internalSeekToTime(seconds);
  std::lock_guard guard(lock_);
  offsets_.push_back(seekByteOffset_);
}

PlayerRun::PlayerRun(AudioStreamer& player)
    : player_(player),
      observer_(NotificationCenter::defaultCenter(), kASStatusChangedNotification, &player,
                [this](const Notification&) {
                  if (!isMainThread()) allOnMainThread = false;
                  seen.push_back(player_.state());
                }) {}

bool PlayerRun::waitForIdle(std::chrono::milliseconds timeout) {
  return waitFor([this] { return !seen.empty() && seen.back() == StreamerState::Idle && player_.isIdle(); },
                 timeout);
}

bool PlayerRun::waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  return runMainLoopUntil(condition, timeout);
}

void useSink(const std::string& spec) { ::setenv("TONVERA_AUDIO_SINK", spec.c_str(), 1); }

std::string tempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("tonvera-" + std::to_string(::getpid()) + "-" + name))
      .string();
}

int count(const std::vector<StreamerState>& states, StreamerState state) {
  return int(std::count(states.begin(), states.end(), state));
}

}  // namespace tonvera::test
