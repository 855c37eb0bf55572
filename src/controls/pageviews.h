// The page views of the help and favourites pages: MainViews (a pointer leaving
// them returns to the now-playing page) with their pages' backgrounds. The pages' controllers add
// their contents as children.
//
// Threads: main thread only.
#pragma once

#include "controls/kktrackview.h"

namespace tonvera {

// Help page: the whole page in white at alpha 0.7.
class HelpView : public MainView {
  Q_OBJECT
 public:
  explicit HelpView(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// Favourites page: opaque white right of the side menu (x 145 to the right edge).
class LoveView : public MainView {
  Q_OBJECT
 public:
  static constexpr int kMenuWidth = 145;
  explicit LoveView(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace tonvera
