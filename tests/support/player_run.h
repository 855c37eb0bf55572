#pragma once
// Logs of a player's states (on whichever thread) and input offsets, and its notifications as the
// main thread handles them.

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "audio/audioinput.h"
#include "audio/audiostreamer.h"
#include "platform/notificationcenter.h"

namespace tonvera::test {

// Every state a player enters, in order, on whichever thread it changes. Made before the player
// it watches, which takes options() (the log must outlive the player).
class StateLog {
 public:
  StreamerOptions options(StreamerOptions base = {});
  std::vector<StreamerState> transitions();
  // The position of `player` (set before starting it) when it first entered Playing after first
  // entering `state`, read on the player's thread at that moment; -1 when there is none yet.
  double positionAtPlayingAfter(StreamerState state);
  std::atomic<AudioStreamer*> player{nullptr};

 private:
  std::mutex mutex_;
  std::vector<StreamerState> transitions_;
  std::vector<double> positionsAtPlaying_;
};

// The offsets a player's input was asked to read from after its first request (the seeks, and
// the reopens of a stream). Made before the player, which reads through wrap(input).
class OffsetLog {
 public:
  std::unique_ptr<AudioInput> wrap(std::unique_ptr<AudioInput> input);
  std::vector<std::int64_t> seekOffsets();

 private:
  friend class LoggedInput;
  std::mutex mutex_;
  bool first_ = true;
  std::vector<std::int64_t> offsets_;
};

// Observes one player's notifications on the main thread.
class PlayerRun {
 public:
  explicit PlayerRun(AudioStreamer& player);

  // Runs the main loop until the player posted Idle after having left it, or the time-out.
  bool waitForIdle(std::chrono::milliseconds timeout = std::chrono::seconds(20));
  bool waitFor(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));

  bool allOnMainThread = true;
  std::vector<StreamerState> seen;  // the state read while handling each notification

 private:
  AudioStreamer& player_;
  ScopedObserver observer_;
};

// Chooses the sink for the queues made from now on.
void useSink(const std::string& spec);
std::string tempPath(const std::string& name);
int count(const std::vector<StreamerState>& states, StreamerState state);

}  // namespace tonvera::test
