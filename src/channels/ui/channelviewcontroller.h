// ChannelViewController: the channel page (page 1 of the window's page list). It builds the page's
// view (ChannelView, 512 x 256) with the channel wall (PubFilmView, 1690 x 116) inside a frame 512
// wide, and fetches the catalogue of channels once, the first time the page is shown, handing it
// to the wall. The wall announces a choice itself ("STATIONChanged"); the controller keeps no
// selection state.
//
// The wall starts showing its middle (x -589) as far as its tiles reach; tiles that all fit in the
// frame (six channels or fewer) are shown centred (see film::startOrigin).
//
// Threads: main thread only.
#pragma once

#include <QPointer>

#include "channels/channelcatalogue.h"
#include "controls/pagecontroller.h"

namespace tonvera {

class ChannelView;
class PubFilmView;
class UserDefaults;

class ChannelViewController : public PageController {
 public:
  // The frame of the wall inside the page: bottom-up (0, 70, 512, 116).
  static constexpr int kFrameX = 0, kFrameY = 70, kFrameWidth = 512, kFrameHeight = 116;

  // `defaults`: the settings store the page reads the selected channel from; UserDefaults::standard()
  // when null. Not owned.
  explicit ChannelViewController(UserDefaults* defaults = nullptr);
  ~ChannelViewController() override;
  ChannelViewController(const ChannelViewController&) = delete;
  ChannelViewController& operator=(const ChannelViewController&) = delete;

  // The page's view (a ChannelView). Owned by the controller until the window takes it as a child;
  // from then on the window owns it.
  QWidget* view() override;
  PubFilmView* collectView() const;
  QWidget* containView() const;

  // Page set-up: fetches the catalogue (once; later calls do nothing). Called when the page is
  // first shown.
  void awakeFromNib();
  // Fetches the catalogue in the background.
  void getChannels();
  // Hands the catalogue to the wall, places the wall and builds its tiles.
  void showRecomm(ChannelList channels);

 private:
  ChannelCatalogue catalogue_;
  QPointer<ChannelView> view_;
  QPointer<QWidget> containView_;
  QPointer<PubFilmView> collectView_;
  bool loaded_ = false;
};

}  // namespace tonvera
