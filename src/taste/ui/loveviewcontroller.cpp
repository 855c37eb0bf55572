#include "taste/ui/loveviewcontroller.h"

#include "controls/geometry.h"
#include "taste/ui/tnartistsearchandsimilarviewcontroller.h"
#include "taste/ui/tnartistslistviewcontroller.h"
#include "taste/ui/tnsongsviewcontroller.h"

namespace tonvera {

LoveViewController::LoveViewController() : view_(new LoveView) {
  view_->resize(512, 256);
  tabView_ = new TabView(view_);
  tabView_->move(0, 0);
  tabView_->setDelegate(this);
  containView_ = new QWidget(view_);
  containView_->setGeometry(
      geometry::frameFromBottomUp(LoveView::kMenuWidth, 0, 512 - LoveView::kMenuWidth, 256, 256));
  const QRect bounds(QPoint(0, 0), containView_->size());
  controlls_[0] = new TNArtistsListViewController(bounds, true, containView_);
  controlls_[1] = new TNArtistsListViewController(bounds, false, containView_);
  controlls_[2] = new TNArtistSearchAndSimilarViewController(bounds, containView_);
  controlls_[3] = new TNSongsViewController(bounds, true, containView_);
  controlls_[4] = new TNSongsViewController(bounds, false, containView_);
  for (QWidget* page : controlls_) page->hide();
  index_ = 0;
  tabViewSelectIndex(0);
}

LoveViewController::~LoveViewController() {
  // The view stays in the window after this controller: its menu must not call back.
  if (view_) tabView_->setDelegate(nullptr);
  if (view_ && view_->parent() == nullptr) delete view_.data();
}

QWidget* LoveViewController::controll(int index) const {
  return index >= 0 && index < kSubPages ? controlls_[static_cast<size_t>(index)] : nullptr;
}

void LoveViewController::tabViewSelectIndex(int index) {
  QWidget* page = controll(index);
  if (!page || page == currentVC_) return;
  if (currentVC_) currentVC_->hide();
  page->show();
  page->raise();
  currentVC_ = page;
  index_ = index;
  tabView_->setSelectIndex(index);
}

}  // namespace tonvera
