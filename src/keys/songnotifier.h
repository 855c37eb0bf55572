// SongNotifier: one desktop notification per song (org.freedesktop.Notifications on the session
// bus): the title as summary, the artists and album as body, the cached cover as the image. Each
// new song replaces the previous notification in place, so they never pile up. Nothing is shown
// while the window is active (the listener sees the song there) or when the setting
// "TonveraSongNotifications" is false (absent: on; preferences.h).
//
// Threads: main thread only.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <string>

#include "keys/preferences.h"
#include "keys/spmediakeytap.h"

namespace tonvera {

class UserDefaults;

class SongNotifier : public QObject {
  Q_OBJECT
 public:
  // `windowActive` tells whether the window has the focus now.
  SongNotifier(UserDefaults& defaults, std::function<bool()> windowActive, QObject* parent = nullptr);

  static bool enabled(UserDefaults& defaults);
  // A song started: notifies (replacing the last notification) when the rules allow.
  void songStarted(const NowPlayingInfo& info);
  // The id of the notification on screen, 0 before the first.
  std::uint32_t notificationId() const { return id_; }

 private:
  UserDefaults& defaults_;
  std::function<bool()> windowActive_;
  std::uint32_t id_ = 0;
};

}  // namespace tonvera
