// SleepInhibitor: while music plays, asks the desktop not to suspend the machine, and lets go on
// pause, stop and quit. The screen may still blank. It asks, over the session bus, the desktop
// portal's Inhibit (suspend only) where there is one, else org.freedesktop.ScreenSaver's Inhibit
// (desktops without the portal), else, over the system bus, logind's Inhibit of sleep (sessions
// without a desktop): logind hands back a file descriptor, and the hold lasts while it is open.
// With none of them, it logs one line and music plays on as before. Calls are asynchronous: the
// main thread never waits for the bus.
//
// Threads: main thread only.
#pragma once

#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>
#include <cstdint>

namespace tonvera {

class SleepInhibitor : public QObject {
  Q_OBJECT
 public:
  explicit SleepInhibitor(QObject* parent = nullptr);
  // Releases a hold still in place.
  ~SleepInhibitor() override;

  // Playing: hold the machine awake; not playing: let go.
  void setPlaying(bool playing);
  // Whether a hold is in place (granted by the desktop) now.
  bool holding() const { return via_ != Via::None; }

 private:
  enum class Via { None, Portal, ScreenSaver, Login1 };
  void request(Via via);
  void granted(Via via);
  void reportMissing(const QString& why);
  void release();

  bool playing_ = false;
  bool asking_ = false;           // a request is on its way
  Via via_ = Via::None;           // the hold in place
  QString portalRequest_;         // Via::Portal: the request object that holds it
  std::uint32_t cookie_ = 0;      // Via::ScreenSaver
  QDBusUnixFileDescriptor lock_;  // Via::Login1: closing it lets go
  bool reportedMissing_ = false;
};

}  // namespace tonvera
