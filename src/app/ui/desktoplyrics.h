// DesktopLyrics: the program's desktop lyrics window (DesktopLyricsView), fed by the now-playing
// page: the page's lyrics model, the song's title and artist, whether it plays, the player's
// position and length. Shown while the setting "TonveraDesktopLyrics" is on (the preferences
// window's check box, or showAction() in the tray's and the window's menus); its fill takes the
// theme colour of the preferences. Its place and size ("TonveraDesktopLyricsFrame", [x, y, w, h]),
// font size ("TonveraDesktopLyricsFontSize") and lock ("TonveraDesktopLyricsLocked") are kept across
// starts; the place is written shortly after it stops moving, and at quit.
//
// Threads: main thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <memory>

#include "platform/notificationcenter.h"

class QAction;

namespace tonvera {

class DesktopLyricsView;
class NowPlayingController;
class PageController;
class UserDefaults;

inline constexpr const char* kDesktopLyricsFrameKey = "TonveraDesktopLyricsFrame";
inline constexpr const char* kDesktopLyricsFontSizeKey = "TonveraDesktopLyricsFontSize";
inline constexpr const char* kDesktopLyricsLockedKey = "TonveraDesktopLyricsLocked";

class DesktopLyrics : public QObject {
  Q_OBJECT
 public:
  DesktopLyrics(NowPlayingController& page, UserDefaults& defaults, QObject* parent = nullptr);
  ~DesktopLyrics() override;

  DesktopLyricsView& view() const { return *view_; }
  // "桌面歌词", checked while shown; "解锁桌面歌词", present only while the window is locked.
  QAction* showAction() const { return show_; }
  QAction* unlockAction() const { return unlock_; }
  // Writes the window's place and size.
  void saveFrame();

 private:
  void followPreferences();
  void followPlayer();
  void restoreFrame();

  QPointer<NowPlayingController> page_;
  UserDefaults& defaults_;
  std::unique_ptr<DesktopLyricsView> view_;
  QAction* show_ = nullptr;    // child of this
  QAction* unlock_ = nullptr;  // child of this
  QString title_, artist_;
  QTimer saveLater_;
  ScopedObserver preferences_;
};

// The desktop lyrics of `page` when it is the now-playing page; otherwise nothing.
std::unique_ptr<DesktopLyrics> makeDesktopLyrics(PageController& page, UserDefaults& defaults);

}  // namespace tonvera
