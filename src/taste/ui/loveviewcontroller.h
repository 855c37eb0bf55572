// LoveViewController: the favourites page. Its view (LoveView) holds the side menu (TabView) at the
// page's origin and the content area right of it, which shows one of five sub-pages:
//   0 liked artists (grid)      1 disliked artists (grid)      2 artist search and recommendations
//   3 liked songs (list)        4 disliked songs (list)
// The sub-pages are built once and live for the run; those off screen keep reloading on their
// notifications.
//
// Threads: main thread only.
#pragma once

#include <QPointer>
#include <QWidget>
#include <array>

#include "controls/pagecontroller.h"
#include "controls/pageviews.h"
#include "controls/tabview.h"

namespace tonvera {

class LoveViewController : public PageController, public TabViewDelegate {
 public:
  static constexpr int kSubPages = 5;
  LoveViewController();
  ~LoveViewController() override;
  LoveViewController(const LoveViewController&) = delete;
  LoveViewController& operator=(const LoveViewController&) = delete;

  QWidget* view() override { return view_.data(); }
  TabView* tabView() const { return tabView_; }
  QWidget* containView() const { return containView_; }
  QWidget* controll(int index) const;
  QWidget* currentVC() const { return currentVC_; }
  int index() const { return index_; }

  // Shows sub-page `index` (0-4) in the content area; nothing when it is already there.
  void tabViewSelectIndex(int index) override;

 private:
  QPointer<LoveView> view_;
  TabView* tabView_ = nullptr;
  QWidget* containView_ = nullptr;
  std::array<QWidget*, kSubPages> controlls_{};
  QWidget* currentVC_ = nullptr;
  int index_ = 0;
};

}  // namespace tonvera
