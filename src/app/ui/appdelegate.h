// AppDelegate: starts and ends the program, owns the seven pages and slides them in and out of the
// window, turns media keys into "PlayBackChanged", and opens the preferences window.
//
// Start-up (applicationDidFinishLaunching): the page list (configVCs), the now-playing page into
// the window, the window shown and made active, the usage reporter configured and told of the
// launch. The application's quit tells the reporter (applicationWillTerminate), whichever way it
// came (退出, Ctrl+Q, the window manager's close).
//
// Media keys arrive as MediaKeyEvents: from the window's key events while it is active (watched
// here), and from the media-key code of the session. Only key-downs act, repeats included.
//
// Threads: main thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/ui/pages.h"
#include "controls/navigator.h"
#include "controls/pagecontroller.h"
#include "keys/mediakeys.h"
#include "keys/spmediakeytap.h"

class QPropertyAnimation;

namespace tonvera {

class KKWindow;
class UserDefaults;

class AppDelegate : public QObject, public PageNavigator, public SPMediaKeyTap::Delegate {
  Q_OBJECT
 public:
  struct Options {
    PageOptions pages;
    bool reportUsage = true;     // configure the usage reporter and tell it of launch and quit
    bool mediaKeysOnBus = true;  // take the MPRIS name on the session bus (tests leave it off)
    // Builds the page at an index of the list instead of the program's pages (tests).
    std::function<std::unique_ptr<PageController>(int index)> makePage;
  };

  // Pages of the list: 0 now playing, 1 channels, 2 private channel, 3 favourites, 4 help,
  // 5 settings, 6 login.
  static constexpr int kPageCount = 7;
  // The page shift: a page off screen to the left sits at x -512.
  static constexpr int kShift = 512;
  // The frame animations' duration.
  static constexpr int kAnimationMs = 250;

  // Registers the program's default settings in `defaults` (once per store, before the delegate
  // is used) and logs the first group as "registered defaults: ...".
  static void registerDefaults(UserDefaults& defaults);

  AppDelegate(KKWindow& window, Options options);
  ~AppDelegate() override;
  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

  void applicationDidFinishLaunching();
  void applicationWillTerminate();
  // Creates the seven page controllers when there are none; the now-playing page is selected.
  void configVCs();

  // PageNavigator
  void selectViewControllerIndex(int index) override;
  void showMain() override;
  void showPreferencePanel() override;
  void terminate() override;
  // True once terminate() was called: the windows' closes that follow are the quit's own, not the
  // listener's (a window kept in the tray must let them through, or the quit is called off).
  bool isTerminating() const { return terminating_; }

  // A media key: key-down (or its repeat) of rewind, play/pause or fast-forward posts
  // "PlayBackChanged" with {"state": 1, 2 or 3}; key-ups and other keys do nothing.
  void mediaKeyTap(const MediaKeyEvent& event);
  // The same, for keys from outside the window (the session bus).
  void mediaKeyTap(SPMediaKeyTap* tap, const MediaKeyEvent& event) override;
  // The media-key tap; null before start-up.
  SPMediaKeyTap* keyTap() const { return keyTap_.get(); }

  KKWindow& window() const { return window_; }
  const std::vector<std::unique_ptr<PageController>>& controllers() const { return controllers_; }
  int selectIndex() const { return selectIndex_; }
  // True while a page is still sliding.
  bool isAnimating() const;

 protected:
  // The window's media keys while it is active.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* pageView(int index) const;
  // Animates the view's x origin to `x`, replacing an animation of it still running.
  void animateX(QWidget* view, int x);
  // The x origin the view is at, or is moving to.
  int targetX(QWidget* view) const;

  KKWindow& window_;
  Options options_;
  std::vector<std::unique_ptr<PageController>> controllers_;
  int selectIndex_ = 0;
  std::map<QWidget*, QPointer<QPropertyAnimation>> animations_;
  std::unique_ptr<QWidget> preferenceController_;
  std::unique_ptr<SPMediaKeyTap> keyTap_;
  bool terminated_ = false;
  bool terminating_ = false;
};

}  // namespace tonvera
