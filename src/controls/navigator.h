// Page switching as the pages and controls see it: the application delegate implements it and
// registers itself at start-up; views reach it through appNavigator() the way they would reach the
// application's delegate. Tests register their own.
//
// Threads: main thread only.
#pragma once

namespace tonvera {

class PageNavigator {
 public:
  virtual ~PageNavigator() = default;
  // Slides the page at `index` of the page list in (1 channels, 2 private channel, 3 favourites,
  // 4 help).
  virtual void selectViewControllerIndex(int index) = 0;
  // Returns to the now-playing page.
  virtual void showMain() = 0;
  // Opens the preferences window.
  virtual void showPreferencePanel() {}
  // Quits through the normal shutdown.
  virtual void terminate() {}
};

// The registered navigator, or null before start-up (then page requests do nothing).
PageNavigator* appNavigator();
void setAppNavigator(PageNavigator* navigator);

}  // namespace tonvera
