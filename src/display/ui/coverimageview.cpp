#include "display/ui/coverimageview.h"

#include <QPainter>
#include <QTimer>
#include <cmath>

#include "controls/resources.h"
#include "display/ui/slideshowview.h"

namespace tonvera {

CoverImageView::CoverImageView(QWidget* parent)
    : QWidget(parent),
      slideshowView_(new SlideshowView(this)),
      placeholder_(ResourcePicture::load(QStringLiteral("COVER.png"))) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  slideshowView_->setGeometry(rect());
  slideshowView_->setAutoCyclesTransitionStyle(true);
  count_ = 0;
  setSlideshowInterval(kSlideshowInterval);
}

void CoverImageView::refreshImage(const QImage& picture, bool yOrn) {
  if (yOrn) {
    artist_ = picture;
    count_ = 1;
  } else {
    album_ = picture;
    count_ = 2;
  }
}

void CoverImageView::setSlideshowInterval(double seconds) {
  if (seconds == interval_) return;
  stopSlideshowTimer();
  interval_ = seconds;
  if (interval_ > 0) startSlideshowTimer();
}

void CoverImageView::startSlideshowTimer() {
  if (timer_ || interval_ <= 0) return;
  timer_ = new QTimer(this);
  timer_->setInterval(static_cast<int>(std::lround(interval_ * 1000)));
  connect(timer_, &QTimer::timeout, this, &CoverImageView::advanceSlideshow);
  if (shown_) timer_->start();
}

void CoverImageView::setWindowShown(bool shown) {
  shown_ = shown;
  if (!timer_) return;
  if (!shown) {
    timer_->stop();
  } else if (!timer_->isActive()) {
    timer_->start();
  }
}

bool CoverImageView::slideshowTicking() const { return timer_ != nullptr && timer_->isActive(); }

void CoverImageView::stopSlideshowTimer() {
  delete timer_;
  timer_ = nullptr;
}

bool CoverImageView::slideshowTimerRunning() const { return timer_ != nullptr; }

bool CoverImageView::windowShown() const {
  const QWidget* w = window();
  return w->isVisible() && !w->isMinimized();
}

void CoverImageView::advanceSlideshow() {
  if (count_ <= 0) return;
  if (!windowShown()) return;
  slideshowView_->transitionToImage(isArtist_ ? artist_ : album_);
  isArtist_ = !isArtist_;
}

void CoverImageView::resizeEvent(QResizeEvent*) { slideshowView_->setGeometry(rect()); }

void CoverImageView::paintEvent(QPaintEvent*) {
  if (!placeholder_) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawPixmap(rect(), placeholder_->pixmap(painter.device()->devicePixelRatioF()));
}

}  // namespace tonvera
