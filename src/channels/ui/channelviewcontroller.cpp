#include "channels/ui/channelviewcontroller.h"

#include "channels/filmstrip.h"
#include "channels/ui/channelview.h"
#include "channels/ui/pubfilmview.h"
#include "controls/geometry.h"

namespace tonvera {

ChannelViewController::ChannelViewController(UserDefaults* defaults) {
  view_ = new ChannelView(defaults);
  // The frame the wall is seen through: a plain clipping view; the wall scrolls only by its own
  // pointer-driven movement.
  containView_ = new QWidget(view_);
  containView_->setGeometry(
      geometry::frameFromBottomUp(kFrameX, kFrameY, kFrameWidth, kFrameHeight, view_->height()));
  collectView_ = new PubFilmView(containView_);
  collectView_->setGeometry(0, 0, static_cast<int>(film::kStripWidth), static_cast<int>(film::kStripHeight));
  view_->setFirstShown([this] { awakeFromNib(); });
}

ChannelViewController::~ChannelViewController() {
  if (!view_) return;
  if (view_->parent() == nullptr) {
    delete view_.data();
  } else {
    view_->setFirstShown({});  // the window keeps the view; it must not call back into this controller
  }
}

QWidget* ChannelViewController::view() { return view_; }

PubFilmView* ChannelViewController::collectView() const { return collectView_; }

QWidget* ChannelViewController::containView() const { return containView_; }

void ChannelViewController::awakeFromNib() {
  if (loaded_) return;
  loaded_ = true;
  getChannels();
}

void ChannelViewController::getChannels() {
  catalogue_.getChannels([this](ChannelList channels) { showRecomm(std::move(channels)); });
}

void ChannelViewController::showRecomm(ChannelList channels) {
  if (!collectView_) return;
  const int count = static_cast<int>(channels.size());
  collectView_->setChannelList(std::move(channels));
  collectView_->setOriginX(film::startOrigin(count));
  collectView_->updateStations();
}

}  // namespace tonvera
