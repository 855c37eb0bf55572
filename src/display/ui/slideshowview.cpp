#include "display/ui/slideshowview.h"

#include <QPainter>
#include <QTimeLine>
#include <cmath>

#include "controls/resources.h"
#include "platform/userdefaults.h"

namespace tonvera {
namespace {

constexpr const char* kAnimateKey = "BNREmptyDocumentFlag";

}  // namespace

SlideshowView::SlideshowView(QWidget* parent)
    : QWidget(parent),
      animates_([] { return UserDefaults::standard().boolForKey(kAnimateKey); }),
      animation_(new QTimeLine(slideshow::kTransitionMs, this)),
      shadingPicture_(ResourcePicture::load(QStringLiteral("restrictedshine"))),
      maskPicture_(ResourcePicture::load(QStringLiteral("transitionmask"))) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  // Linear time, one frame every 1/kFramesPerSecond s (not at the display's refresh rate).
  animation_->setEasingCurve(QEasingCurve::Linear);
  animation_->setUpdateInterval(1000 / kFramesPerSecond);
  connect(animation_, &QTimeLine::valueChanged, this, [this](qreal value) {
    time_ = value;
    update();
  });
  connect(animation_, &QTimeLine::finished, this, [this] {
    time_ = 1;
    previous_ = Slide{};
    update();
  });
}

SlideshowView::~SlideshowView() = default;

bool SlideshowView::isAnimating() const { return animation_->state() == QTimeLine::Running; }

QImage SlideshowView::fitted(const QImage& picture, const QSizeF& size, qreal dpr) {
  if (picture.isNull() || size.isEmpty()) return {};
  const QSize pixels(static_cast<int>(std::lround(size.width() * dpr)),
                     static_cast<int>(std::lround(size.height() * dpr)));
  QImage out(pixels, QImage::Format_ARGB32_Premultiplied);
  out.fill(Qt::transparent);
  const bool square = picture.width() == picture.height();
  // Portrait and landscape pictures cover the area (cut at their long side); square ones fit.
  const QSize scaledSize =
      picture.size().scaled(pixels, square ? Qt::KeepAspectRatio : Qt::KeepAspectRatioByExpanding);
  const QImage scaled = picture.scaled(scaledSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  {
    QPainter p(&out);
    p.drawImage(QPoint((pixels.width() - scaled.width()) / 2, (pixels.height() - scaled.height()) / 2),
                scaled);
  }
  out.setDevicePixelRatio(dpr);
  return out;
}

const QImage& SlideshowView::Slide::at(const QSizeF& s, qreal r) {
  if (!original.isNull() && (s != size || r != dpr)) {
    prepared = fitted(original, s, r);
    size = s;
    dpr = r;
  }
  return prepared;
}

const slideshow::TransitionInputs& SlideshowView::inputsAt(const QSize& pixels, qreal dpr) {
  if (pixels != inputsPixels_) {
    inputsPixels_ = pixels;
    inputs_.mask = maskPicture_ ? slideshow::prepareMask(maskPicture_->image(dpr), pixels) : QImage();
    inputs_.shading = shadingPicture_ ? shadingPicture_->image(dpr) : QImage();
  }
  return inputs_;
}

SlideshowView::Slide SlideshowView::slideFor(const QImage& picture) const {
  if (!picture.isNull()) {
    for (const Slide& slide : recent_) {
      if (!slide.original.isNull() && slide.original.cacheKey() == picture.cacheKey()) return slide;
    }
  }
  Slide slide;
  slide.original = picture;
  return slide;
}

void SlideshowView::transitionToImage(const QImage& picture) {
  if (autoCycles_) setTransitionStyle((transitionStyle_ + 1) % slideshow::kStyleCount);
  animation_->stop();
  if (!current_.original.isNull()) {
    if (recent_[0].original.cacheKey() != current_.original.cacheKey()) recent_[1] = recent_[0];
    recent_[0] = current_;
  }
  const bool animate = animates_ && animates_() && isVisible();
  previous_ = animate ? std::move(current_) : Slide{};
  current_ = slideFor(picture);
  if (animate && (!previous_.original.isNull() || !current_.original.isNull())) {
    time_ = 0;
    animation_->start();
  } else {
    previous_ = Slide{};
    time_ = 1;
  }
  update();
}

void SlideshowView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const qreal dpr = painter.device()->devicePixelRatioF();
  const QRectF bounds = rect();
  const QImage& to = current_.at(bounds.size(), dpr);
  if (time_ >= 1 || (previous_.original.isNull() && to.isNull())) {
    if (!to.isNull()) painter.drawImage(bounds, to);
    return;
  }
  const QImage& from = previous_.at(bounds.size(), dpr);
  const QSize pixels = (!to.isNull() ? to : from).size();
  slideshow::paintTransition(painter, transitionStyle_, time_, bounds, from, to, inputsAt(pixels, dpr));
}

}  // namespace tonvera
