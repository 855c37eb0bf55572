// SlideshowView: the cover area's picture and its change to the next one. A change first advances
// the style (when cycling is on: 1, 2, ..., 11, 0, 1, ...), then shows the new picture: at once,
// or, when the preference "BNREmptyDocumentFlag" is true, through the style's 1-second transition
// (slideshowtransitions.h), painted at kFramesPerSecond. A null picture empties the area. Portrait
// and landscape pictures fill the view (centred, cut at the long side); square ones are scaled to
// fit.
//
// Threads: main thread only.
#pragma once

#include <QImage>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "display/ui/slideshowtransitions.h"

class QTimeLine;

namespace tonvera {

class ResourcePicture;

class SlideshowView : public QWidget {
  Q_OBJECT
 public:
  // Whether changes are animated; reads the preference "BNREmptyDocumentFlag" unless replaced.
  using AnimationSwitch = std::function<bool()>;

  // A change is painted this many times a second: smooth for a picture of this size, and each
  // frame repaints the whole area.
  static constexpr int kFramesPerSecond = 30;

  explicit SlideshowView(QWidget* parent = nullptr);
  ~SlideshowView() override;

  // Shows `picture` (null: nothing), advancing the style first when cycling is on.
  void transitionToImage(const QImage& picture);

  unsigned transitionStyle() const { return transitionStyle_; }
  void setTransitionStyle(unsigned style) { transitionStyle_ = style; }
  bool autoCyclesTransitionStyle() const { return autoCycles_; }
  void setAutoCyclesTransitionStyle(bool on) { autoCycles_ = on; }
  void setAnimationSwitch(AnimationSwitch animates) { animates_ = std::move(animates); }

  // The picture on show (or coming in); null when the area is empty.
  const QImage& currentImage() const { return current_.original; }
  bool isAnimating() const;
  // The running change's time 0..1 (1 when none runs).
  qreal transitionTime() const { return time_; }

  // The picture as shown in an area of `size` points at `dpr` device pixels per point.
  static QImage fitted(const QImage& picture, const QSizeF& size, qreal dpr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // A picture with its rendering at the size and ratio it was last drawn at.
  struct Slide {
    QImage original;
    QImage prepared;
    QSizeF size;
    qreal dpr = 0;
    const QImage& at(const QSizeF& size, qreal dpr);
  };
  const slideshow::TransitionInputs& inputsAt(const QSize& pixels, qreal dpr);
  // The slide for a picture, with its rendering when the picture was on show lately (the album
  // and artist pictures come back by turns; they are scaled once, not at every turn).
  Slide slideFor(const QImage& picture) const;

  unsigned transitionStyle_ = 0;
  bool autoCycles_ = false;
  AnimationSwitch animates_;
  Slide current_;
  Slide previous_;
  std::array<Slide, 2> recent_;  // the last two pictures shown, with their renderings
  qreal time_ = 1;
  QTimeLine* animation_ = nullptr;  // child
  std::shared_ptr<const ResourcePicture> shadingPicture_;
  std::shared_ptr<const ResourcePicture> maskPicture_;
  slideshow::TransitionInputs inputs_;
  QSize inputsPixels_;
};

}  // namespace tonvera
