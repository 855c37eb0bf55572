// The help page: four guide pictures side by side in a strip, one in view at a time, moved through
// with a previous arrow, a next arrow and four dots. On the last picture the next arrow shows its
// "done" icon and returns to the now-playing page. The page keeps the picture it showed last.
//
// Threads: main thread only.
#pragma once

#include <QPointer>
#include <array>

#include "controls/pagecontroller.h"

class QWidget;

namespace tonvera {

class HelpView;
class NovaColorButton;
class NovaToggleButton;
class StateButton;

class HelpViewController : public PageController {
 public:
  static constexpr int kPictures = 4;
  // The frame animations' duration (the platform's default for animated moves).
  static constexpr int kAnimationMs = 250;

  HelpViewController();
  ~HelpViewController() override;
  HelpViewController(const HelpViewController&) = delete;
  HelpViewController& operator=(const HelpViewController&) = delete;

  QWidget* view() override;

  // The arrows and dots act here: previous, next (on the last picture: back to the now-playing
  // page), or a dot by its tag.
  void changeIndex(NovaColorButton* sender);

  int index() const { return index_; }
  NovaToggleButton* prevButton() const { return prevButton_; }
  NovaToggleButton* nextButton() const { return nextButton_; }
  StateButton* dot(int k) const { return buttonsArray_[static_cast<size_t>(k)]; }
  QWidget* picture(int k) const { return imageViewArray_[static_cast<size_t>(k)]; }

 private:
  void awakeFromNib();
  void configSlide();
  void configControl();

  QPointer<HelpView> view_;  // owned until the window takes it
  int index_ = 0;
  std::array<QWidget*, kPictures> imageViewArray_{};  // children of the view
  std::array<StateButton*, kPictures> buttonsArray_{};
  NovaToggleButton* prevButton_ = nullptr;
  NovaToggleButton* nextButton_ = nullptr;
};

}  // namespace tonvera
