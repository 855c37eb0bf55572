// A page of the window's page list as the application delegate sees it: the controller owns its
// view (built in code, 512 x 256) and is created once at start-up; the view is added to the window
// the first time the page is selected (the now-playing page's at start).
//
// Threads: main thread only.
#pragma once

class QWidget;

namespace tonvera {

class PageController {
 public:
  virtual ~PageController() = default;
  // The page's view; created with the controller, parented to the window when first shown.
  virtual QWidget* view() = 0;
  // Sent to the now-playing page when the window returns to it; other pages ignore it.
  virtual void showCoverView() {}
};

}  // namespace tonvera
