// PrivateViewController: the private channel page (page 2 of the window's page list). Its view is a
// PrivateView; the controller adds the start button (column 0, row 0 of "CONTROL.png"), which
// posts "STATIONChanged" with user info {"6": "xxxx"} (the now-playing controller then stores the
// station {"name": "私人电台"} and requests the private channel built from the liked songs and
// artists) and returns the window to the now-playing page.
//
// Threads: main thread only.
#pragma once

#include <QPointer>

#include "controls/pagecontroller.h"

namespace tonvera {

class NovaColorButton;
class PrivateView;
class UserDefaults;

class PrivateViewController : public PageController {
 public:
  // `defaults`: the settings store of the page's switches and station name; UserDefaults::standard()
  // when null. Not owned.
  explicit PrivateViewController(UserDefaults* defaults = nullptr);
  ~PrivateViewController() override;
  PrivateViewController(const PrivateViewController&) = delete;
  PrivateViewController& operator=(const PrivateViewController&) = delete;

  // The page's view (a PrivateView). Owned by the controller until the window takes it as a child;
  // from then on the window owns it.
  QWidget* view() override;
  PrivateView* privateView() const;
  NovaColorButton* playButton() const;

  // Starts the private channel and returns to the now-playing page.
  void playAction();

 private:
  void awakeFromNib();

  QPointer<PrivateView> view_;
  QPointer<NovaColorButton> playButton_;  // child of the view
};

}  // namespace tonvera
