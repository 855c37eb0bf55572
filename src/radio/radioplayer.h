// The stream player as the now-playing controller drives it: one player per track, created for the
// track's URL, started once, polled by the progress timer, stopped and dropped when the track
// changes. The stream player (HTTP) and the local-file player both answer it.
//
// Every state change is announced by "ASStatusChangedNotification" on the main thread with
// notificationSender() as the sender; after a start the player comes back to Idle when the track
// has ended, failed or been stopped.
//
// Threads: main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "audio/audiostreamer.h"
#include "audio/heldstream.h"
#include "platform/net/fileurl.h"

namespace tonvera {

class RadioPlayer {
 public:
  // The stream player's states (the local-file player has the same ones).
  using State = StreamerState;

  virtual ~RadioPlayer() = default;

  virtual void start() = 0;
  virtual void stop() = 0;
  // Toggles between playing and paused.
  virtual void pause() = 0;
  virtual void seekToTime(double seconds) = 0;

  virtual State state() const = 0;
  virtual bool isWaiting() const = 0;
  virtual bool isPlaying() const = 0;
  virtual bool isIdle() const = 0;
  virtual bool isPaused() const = 0;

  // Bit/s; 0 until the stream's format is known.
  virtual std::uint32_t bitRate() const = 0;
  // Seconds; -1 while not yet known.
  virtual double progress() const = 0;
  // Seconds; 0 or less while not yet known.
  virtual double duration() const = 0;
  // The first error recorded (StreamerError::None while none); NetworkConnectionFailed when the
  // stream could not be had again within the player's outage limit.
  virtual StreamerError errorCode() const = 0;

  // The sender of this player's "ASStatusChangedNotification".
  virtual const void* notificationSender() const = 0;
};

// Makes the player for a track URL: the local-file player for "file:" URLs (isFileUrl), the stream player
// otherwise. Nothing when no player can be made for the URL (one line is logged).
using RadioPlayerFactory = std::function<std::unique_ptr<RadioPlayer>(const std::string& url)>;
std::unique_ptr<RadioPlayer> makeRadioPlayer(const std::string& url, const StreamerOptions& options = {});
// The stream player for a track whose head was fetched ahead (makeHeldInput): it starts from the
// held bytes.
std::unique_ptr<RadioPlayer> makeRadioPlayer(std::shared_ptr<const HeldStream> head,
                                             const StreamerOptions& options = {});

}  // namespace tonvera
