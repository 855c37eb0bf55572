// TrayIcon: the program in the desktop's tray, where there is one (with none, nothing is shown and
// nothing changes). Its menu plays or pauses, skips to the next song, likes the song playing (or
// takes the like back; checked while the song is liked, like the page's like button) and quits;
// its tooltip names the song playing; a click brings the window forward.
//
// Threads: main thread only.
#pragma once

#include <QObject>
#include <QList>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>

class QAction;
class QMenu;

namespace tonvera {

struct NowPlayingInfo;

class TrayIcon : public QObject {
  Q_OBJECT
 public:
  struct Actions {
    std::function<void()> playPause;
    std::function<void()> next;
    std::function<void()> like;
    std::function<void()> raise;
    std::function<void()> quit;
  };

  explicit TrayIcon(Actions actions, QObject* parent = nullptr);
  ~TrayIcon() override;

  // Items offered above 显示窗口 (not owned; hidden items are left out by the menu).
  void addActions(const QList<QAction*>& actions);
  // The tooltip and the like item follow the song (the like item is off while nothing plays).
  void setNowPlaying(const NowPlayingInfo& info);
  QSystemTrayIcon& icon() { return icon_; }
  QMenu* menu() const { return menu_.get(); }
  QAction* likeAction() const { return like_; }

 private:
  Actions actions_;
  std::unique_ptr<QMenu> menu_;
  QAction* like_ = nullptr;  // owned by the menu
  QAction* raise_ = nullptr;  // owned by the menu
  bool liked_ = false;       // the song's like as last shown
  QSystemTrayIcon icon_;
};

}  // namespace tonvera
