// SPMediaKeyTap: the media keys from outside the window. On Linux desktops route the keyboard's
// media keys to a player through MPRIS2 on the session bus, so the tap owns the bus name
// "org.mpris.MediaPlayer2.tonvera" while it watches and exports the root and Player interfaces
// (mpris.h). PlayPause, Next and Previous (and Play, Pause, Stop as the playback state asks)
// arrive as media-key events and go to the delegate, the same path as the window's own keys.
//
// The tap steps aside for other media players the listener used more recently: the list of
// players in "SPApplicationsNeedingMediaKeys" that came to the front, most recent first; while
// its head is not this program, keys from the bus are left alone. Only the window's own
// activation is visible here (other programs' activation is not, on Wayland), so the list is fed
// by it and by whatever the host reports.
//
// "SPIgnoreMediaKeys" true: no bus name is taken; the keys work only in the window.
//
// Threads: main thread only, except shouldInterceptMediaKeyEvents, which any thread may read or
// set (under the tap's lock).
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "keys/mediakeys.h"

namespace tonvera {

class MprisService;
class UserDefaults;

// What the bus shows of the track playing.
struct NowPlayingInfo {
  std::string trackId;  // the track's id ("" while nothing plays)
  std::string title;
  std::vector<std::string> artists;
  std::string album;
  std::string artUrl;         // file URL of the cached cover, or ""
  std::int64_t lengthUs = 0;  // 0 while unknown
  bool liked = false;         // shown as xesam:userRating 1.0 (0.0 otherwise)
  std::string lyricsLine;     // the lyrics line being sung (xesam:asText), or ""
};

// What the bus may ask of the player and the window beyond the media keys. Without seekTo CanSeek
// is false; without setVolume the player has no volume of its own: Volume stays 1.0 and writes to
// it are ignored; without position the last position set stands.
struct PlayerHooks {
  std::function<void(std::int64_t positionUs)> seekTo;  // the player's seek
  std::function<void(double volume)> setVolume;         // 0.0 - 1.0
  std::function<std::int64_t()> position;               // the player's position now
};

enum class PlaybackStatus { Stopped, Playing, Paused };

class SPMediaKeyTap : public QObject {
  Q_OBJECT
 public:
  class Delegate {
   public:
    virtual ~Delegate() = default;
    virtual void mediaKeyTap(SPMediaKeyTap* tap, const MediaKeyEvent& event) = 0;
  };

  // This program's id in the application list (its desktop-file id).
  static constexpr const char* kOwnIdentifier = "org.tonvera.Tonvera";
  static constexpr const char* kBusName = "org.mpris.MediaPlayer2.tonvera";

  // Starts following the window's activation (appIsNowFrontmost) with an empty list.
  SPMediaKeyTap(Delegate* delegate, UserDefaults& defaults);
  ~SPMediaKeyTap() override;

  // False when "SPIgnoreMediaKeys" is true.
  static bool usesGlobalMediaKeyTap(UserDefaults& defaults);
  static std::vector<std::string> defaultMediaKeyUserBundleIdentifiers();

  // Takes the bus name and exports the interfaces; false (one log line) without a session bus or
  // when the name is taken. Stopping gives the name back.
  bool startWatchingMediaKeys();
  void stopWatchingMediaKeys();
  bool isWatching() const { return mpris_ != nullptr; }

  bool shouldInterceptMediaKeyEvents() const;
  void setShouldInterceptMediaKeyEvents(bool intercept);

  // A key from the bus: to the delegate while intercepting.
  void handleAndReleaseMediaKeyEvent(const MediaKeyEvent& event);

  // Application list upkeep. `process` identifies a running program (its process id).
  void appIsNowFrontmost(const std::string& identifier, std::int64_t process);
  void appTerminated(std::int64_t process);
  void mediaKeyAppListChanged();
  const std::vector<std::int64_t>& mediaKeyAppList() const { return mediaKeyAppList_; }

  // What the bus shows; the playback state also decides what Play, Pause and Stop do.
  void setPlaybackStatus(PlaybackStatus status);
  void setNowPlaying(const NowPlayingInfo& info);
  PlaybackStatus playbackStatus() const { return status_; }
  const NowPlayingInfo& nowPlaying() const { return info_; }

  // The player's side of the bus. The now-playing page keeps these current: the track (with its
  // like and lyrics line) on every change, the lyrics line and the like as they change, the
  // position as it plays (read on demand through the position hook, never announced), a seek's
  // landing point (announced as Seeked), the volume.
  void setLyricsLine(const std::string& line);
  void setLiked(bool liked);
  void setPosition(std::int64_t positionUs) { positionUs_ = positionUs; }
  void seeked(std::int64_t positionUs);
  void setVolume(double volume);
  std::int64_t position() const { return hooks_.position ? hooks_.position() : positionUs_; }
  double volume() const { return volume_; }
  void setPlayerHooks(PlayerHooks hooks);
  const PlayerHooks& playerHooks() const { return hooks_; }

  // Emitted by setNowPlaying when the track changes (a new song, or nothing playing).
  Q_SIGNAL void trackChanged();
  // Emitted on every change of what nowPlaying() holds (the track, its like, its lyrics line, its
  // cover or length) and of the playback state.
  Q_SIGNAL void nowPlayingChanged();
  Q_SIGNAL void playbackStatusChanged();

  // Raise and Quit of the root interface (CanRaise, CanQuit true once set).
  void setWindowHooks(std::function<void()> raise, std::function<void()> quit);
  const std::function<void()>& raiseHook() const { return raise_; }
  const std::function<void()>& quitHook() const { return quit_; }

 private:
  friend class MprisService;
  Delegate* delegate_;  // not owned
  UserDefaults& defaults_;
  std::unique_ptr<MprisService> mpris_;  // while watching
  std::vector<std::int64_t> mediaKeyAppList_;
  PlaybackStatus status_ = PlaybackStatus::Stopped;
  NowPlayingInfo info_;
  std::int64_t positionUs_ = 0;
  double volume_ = 1.0;
  PlayerHooks hooks_;
  std::function<void()> raise_;
  std::function<void()> quit_;

  // guarded by lock_
  mutable std::mutex lock_;
  bool shouldInterceptMediaKeyEvents_ = true;
};

}  // namespace tonvera
