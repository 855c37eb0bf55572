// The now-playing page's pointer-driven controls: the transport and taste buttons built three
// seconds after the start, the three layers the pointer shows and hides, and the like and dislike
// actions on the track or its first artist.
#include <QGraphicsOpacityEffect>
#include <QVariantAnimation>

#include "controls/buttons.h"
#include "controls/controlview.h"
#include "controls/geometry.h"
#include "controls/resources.h"
#include "radio/ui/nowplayingcontroller.h"
#include "radio/ui/nowplayingview.h"
#include "records/tnartist.h"
#include "records/tnsong.h"
#include "taste/tnmanager.h"

namespace tonvera {
namespace {

constexpr int kPageHeight = NowPlayingView::kHeight;
constexpr qreal kHalf = NowPlayingView::kHalf;
// Pointer rules (points, y from the page's bottom): the right half from x 256, its upper part,
// where the taste buttons act on the artist, from y 140.
constexpr qreal kUpperPart = 140;
// The taste buttons' strip: beside the track's texts low, beside the artist high.
constexpr qreal kArtisX = 436;
constexpr qreal kArtisLowY = 54;
constexpr qreal kArtisHighY = 200;
constexpr qreal kArtisHeight = 76;
// The title's right end when nothing stands beside it (the panel's right margin).
constexpr int kTitleRight = 492;
// The sheet's size when "CONTROL.png" is missing: the buttons keep their places, without icons.
constexpr qreal kFallbackSheetWidth = 280;
constexpr qreal kFallbackSheetHeight = 80;

const QColor kBlack = QColor::fromRgbF(0, 0, 0, 1);
const QColor kOrange = QColor::fromRgbF(1, 0.5f, 0, 1);
const QColor kRed = QColor::fromRgbF(1, 0, 0, 1);

QRect frameIn(qreal x, qreal y, qreal w, qreal h, qreal parentHeight) {
  return geometry::frameFromBottomUp(x, y, w, h, parentHeight);
}

// A button strip's frame (bottom-up in the page) as its widget's geometry, cut to the page: the
// layout's strips reach past the page's edges, where nothing is ever seen, and a layer whose widget
// stands outside its parent does not paint reliably.
QRect stripFrame(qreal x, qreal y, qreal w, qreal h) {
  return frameIn(x, y, w, h, kPageHeight).intersected(QRect(0, 0, NowPlayingView::kWidth, kPageHeight));
}

// Places a button at `rect` (bottom-up) of a strip whose bottom-left corner is at (x, y) of the page.
void placeInStrip(QWidget* button, const QWidget* strip, qreal x, qreal y, const QRectF& rect) {
  button->setGeometry(frameIn(x + rect.x(), y + rect.y(), rect.width(), rect.height(), kPageHeight)
                          .translated(-strip->pos()));
}

constexpr qreal kTrackBtnsX = 256;
constexpr qreal kTrackBtnsY = 54;

}  // namespace

namespace {

// A fully opaque layer paints without its effect: the effect is then only in the way (and a
// widget rendered through an opaque opacity effect may come out empty).
void applyOpacity(QGraphicsOpacityEffect* effect, qreal opacity) {
  effect->setOpacity(opacity);
  effect->setEnabled(opacity < 1.0);
}

}  // namespace

NowPlayingController::LayerState NowPlayingController::makeLayer(QWidget* view, qreal opacity) {
  LayerState layer;
  layer.view = view;
  layer.effect = new QGraphicsOpacityEffect(view);
  applyOpacity(layer.effect, opacity);
  view->setGraphicsEffect(layer.effect);  // the view owns it
  layer.animation = new QVariantAnimation(layer.effect);
  layer.animation->setDuration(kLayerFadeMs);
  QObject::connect(layer.animation, &QVariantAnimation::valueChanged, layer.effect,
                   [effect = layer.effect](const QVariant& value) { applyOpacity(effect, value.toReal()); });
  layer.target = opacity;
  return layer;
}

qreal NowPlayingController::layerOpacity(Layer layer) const {
  const auto& state = layers_[static_cast<std::size_t>(layer)];
  return state ? state->target : 1.0;  // before configControl nothing hides the grid
}

void NowPlayingController::setLayerOpacity(Layer which, qreal opacity) {
  auto& layer = layers_[static_cast<std::size_t>(which)];
  if (!layer || !layer->view || layer->target == opacity) return;
  layer->target = opacity;
  layer->animation->stop();
  if (layerFadeMs_ <= 0 || !layer->view->isVisible()) {
    applyOpacity(layer->effect, opacity);
    return;
  }
  layer->animation->setDuration(layerFadeMs_);
  layer->animation->setStartValue(layer->effect->opacity());
  layer->animation->setEndValue(opacity);
  layer->animation->start();
}

void NowPlayingController::configControl() {
  if (controlsConfigured() || !view_) return;
  NowPlayingView* page = view_;
  layers_[static_cast<std::size_t>(Layer::Control)] = makeLayer(controlView_, 0);

  trackBtnsView_ = new QWidget(page);
  trackBtnsView_->setGeometry(stripFrame(kTrackBtnsX, kTrackBtnsY, 256, 256));
  layers_[static_cast<std::size_t>(Layer::TrackButtons)] = makeLayer(trackBtnsView_, 0);
  trackBtnsView_->show();

  artisBtnsView_ = new QWidget(page);
  artisBtnsView_->setGeometry(stripFrame(kArtisX, kArtisLowY, 256, 256));
  layers_[static_cast<std::size_t>(Layer::ArtistButtons)] = makeLayer(artisBtnsView_, 0);
  artisBtnsView_->show();
  isTrack_ = true;

  const auto sheet = ResourcePicture::load(QStringLiteral("CONTROL.png"));
  const qreal W = sheet ? sheet->size().width() : kFallbackSheetWidth;
  const qreal H = sheet ? sheet->size().height() : kFallbackSheetHeight;
  const qreal cw = W / 7;
  const qreal ch = H / 2;
  tasteSide_ = (3 * W / 7) * 0.25;
  const qreal s = tasteSide_;
  auto placeTrackButton = [this](QWidget* button, qreal x, qreal w, qreal h) {
    placeInStrip(button, trackBtnsView_, kTrackBtnsX, kTrackBtnsY, QRectF(x, 0, w, h));
  };

  preButton_ = new NovaColorButton(trackBtnsView_);
  placeTrackButton(preButton_, 20, cw, ch);
  preButton_->setImage(sheet, QRectF(2 * W / 7, 0, cw, ch));
  preButton_->setColor1Color2(kBlack, kOrange);
  preButton_->addTarget([this](NovaColorButton*) { controller_->preTrack(Sender::control("preButton")); });

  playButton_ = new NovaToggleButton(trackBtnsView_);
  placeTrackButton(playButton_, 60, cw, ch);
  playButton_->setImage(sheet, QRectF(W / 7, 0, cw, ch));
  playButton_->setOnImage(sheet, QRectF(0, 0, cw, ch));
  playButton_->setColor1Color2(kBlack, kOrange);
  playButton_->setOn(playButtonOn_);
  playButton_->addTarget([this](NovaColorButton*) { controller_->onPause(); });

  nextButton_ = new NovaColorButton(trackBtnsView_);
  placeTrackButton(nextButton_, 100, cw, ch);
  nextButton_->setImage(sheet, QRectF(3 * W / 7, 0, cw, ch));
  nextButton_->setColor1Color2(kBlack, kOrange);
  nextButton_->addTarget([this](NovaColorButton*) { controller_->nextTrack(Sender::control("nextButton")); });

  loveTrack_ = new NovaToggleButton(artisBtnsView_);
  loveTrack_->setImage(sheet, QRectF(190, 0, s, s));
  loveTrack_->setColor1Color2(kBlack, kRed);
  loveTrack_->setOnColor(kRed);
  loveTrack_->addTarget([this](NovaColorButton*) { loveTrack(); });

  delTrack_ = new NovaColorButton(artisBtnsView_);
  delTrack_->setImage(sheet, QRectF(220, 0, s, s));
  delTrack_->setColor1Color2(kBlack, kOrange);
  delTrack_->addTarget([this](NovaColorButton*) { disgustTrack(); });
  setArtisBtnsFrame(kArtisLowY, 256);  // built 256 high; the pointer gives it its strip's height

  for (QWidget* button : {static_cast<QWidget*>(preButton_), static_cast<QWidget*>(playButton_),
                          static_cast<QWidget*>(nextButton_), static_cast<QWidget*>(loveTrack_),
                          static_cast<QWidget*>(delTrack_)}) {
    button->show();
  }
}

// The strip's frame is given bottom-up; its buttons keep their places from its bottom edge.
void NowPlayingController::setArtisBtnsFrame(qreal y, qreal height) {
  if (!artisBtnsView_) return;
  artisBtnsView_->setGeometry(stripFrame(kArtisX, y, 256, height));
  if (loveTrack_) placeInStrip(loveTrack_, artisBtnsView_, kArtisX, y, QRectF(0, 6, tasteSide_, tasteSide_));
  if (delTrack_) placeInStrip(delTrack_, artisBtnsView_, kArtisX, y, QRectF(30, 6, tasteSide_, tasteSide_));
  // Standing high, the buttons are beside the title: it then ends 4 points before them.
  if (trackName_) {
    const int right = y >= kUpperPart ? static_cast<int>(kArtisX) - 4 : kTitleRight;
    trackName_->resize(right - trackName_->x(), trackName_->height());
  }
}

void NowPlayingController::mouseMoved(const QPointF& windowPos) {
  if (!view_) return;
  // The layout's rules are stated in the page's own points, y from its bottom.
  const QPointF local = view_->mapFrom(view_->window(), windowPos);
  mouseEventWithPoint(geometry::toBottomUp(local, view_->height()));
}

void NowPlayingController::mouseExited() { showCoverView(); }

void NowPlayingController::showCoverView() {
  setLayerOpacity(Layer::Control, 0);
  setLayerOpacity(Layer::TrackButtons, 0);
  setLayerOpacity(Layer::ArtistButtons, 0);
  setArtisBtnsFrame(kArtisLowY, kArtisHeight);  // hidden buttons leave the title its whole width
}

void NowPlayingController::mouseEventWithPoint(const QPointF& p) {
  if (!controlsConfigured()) return;
  if (p.x() >= kHalf) {
    setLayerOpacity(Layer::Control, 0.5);
    setLayerOpacity(Layer::TrackButtons, 1.0);
    setLayerOpacity(Layer::ArtistButtons, 1.0);
    const bool upper = p.y() >= kUpperPart;
    isTrack_ = !upper;
    setArtisBtnsFrame(upper ? kArtisHighY : kArtisLowY, kArtisHeight);
  } else {
    setLayerOpacity(Layer::Control, 1.0);
    setLayerOpacity(Layer::TrackButtons, 0.5);
    setLayerOpacity(Layer::ArtistButtons, 0.5);
    isTrack_ = true;
    setArtisBtnsFrame(kArtisLowY, kArtisHeight);
  }
  setLoveButtonForTarget();
}

void NowPlayingController::setLoveButtonForTarget() {
  if (!loveTrack_) return;
  const auto& song = controller_->curSong();
  bool on = false;
  if (song) {
    if (isTrack_) {
      on = TNManager::sharedManager().isLove(*song);
    } else if (const auto artist = song->firstArtist()) {
      on = TNManager::sharedManager().isLove(*artist);
    }
  }
  loveTrack_->setOn(on);
}

void NowPlayingController::loveTrack() {
  if (isTrack_) {
    controller_->loveTrack();
  } else {
    controller_->loveArtist();
  }
}

void NowPlayingController::disgustTrack() {
  if (isTrack_) {
    controller_->disgustTrack();
  } else {
    controller_->disgustArtist();
  }
}

}  // namespace tonvera
