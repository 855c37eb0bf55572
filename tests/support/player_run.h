#pragma once
// Test support: a log of every state a player passes through (on whichever thread), a file player
// that records where its seeks read from, and the notifications a player posts as the main thread
// handles them.

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "audio/audiofiler.h"
#include "audio/audiostreamer.h"
#include "platform/notificationcenter.h"

namespace tonvera::test {

// Every state a player enters, in order, on whichever thread it changes. Made before the player
// it watches, which takes options() (the log must outlive the player).
class StateLog {
 public:
  StreamerOptions options(StreamerOptions base = {});
  std::vector<StreamerState> transitions();

 private:
  std::mutex mutex_;
  std::vector<StreamerState> transitions_;
};

// A file player that records the file offset every seek read from.
class SeekRecordingFiler : public AudioFiler {
 public:
  explicit SeekRecordingFiler(const std::string& url, StreamerOptions options = {})
      : AudioFiler(url, std::move(options)) {}
  ~SeekRecordingFiler() override { shutdown(); }
  std::vector<std::int64_t> seekOffsets();

 protected:
  void internalSeekToTime(double seconds) override;

 private:
  std::vector<std::int64_t> offsets_;  // guarded by lock_
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
