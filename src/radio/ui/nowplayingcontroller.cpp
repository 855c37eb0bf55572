// The now-playing page: its layout, the page interface the radio's controller shows its track on,
// and the window it lives in. The pointer-driven controls are in nowplayingcontrols.cpp.
#include "radio/ui/nowplayingcontroller.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <algorithm>

#include "controls/buttons.h"
#include "controls/controlview.h"
#include "controls/fonts.h"
#include "controls/geometry.h"
#include "display/ui/coverimageview.h"
#include "display/ui/kkslideview.h"
#include "display/ui/linelrcview.h"
#include "display/ui/progressnumview.h"
#include "radio/ui/nowplayingview.h"

namespace tonvera {
namespace {

constexpr int kPageHeight = NowPlayingView::kHeight;

QRect frame(qreal x, qreal y, qreal w, qreal h) {
  return geometry::frameFromBottomUp(x, y, w, h, kPageHeight);
}

QString qstr(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

const QColor kTitleColor(29, 26, 52);
const QColor kArtistColor(45, 41, 74);
const QColor kAlbumColor = QColor::fromRgbF(99 / 255.0f, 97 / 255.0f, 99 / 255.0f, 1);

}  // namespace

NowPlayingController::NowPlayingController(QWidget* parent)
    : NowPlayingController(parent, MainViewController::Options{}, true) {}

NowPlayingController::NowPlayingController(QWidget* parent, MainViewController::Options options,
                                           bool startRadio) {
  view_ = new NowPlayingView(parent);
  buildPage();
  controller_ = std::make_unique<MainViewController>(*this, std::move(options));
  setControllerHooks({});
  view_->setObj(this);
  view_->installEventFilter(this);
  watchWindow();
  auto& center = NotificationCenter::defaultCenter();
  likeSongObserver_ =
      ScopedObserver(center, "likeSong", nullptr, [this](const Notification&) { setLoveButtonForTarget(); });
  likeArtistObserver_ =
      ScopedObserver(center, "likeArtist", nullptr, [this](const Notification&) { setLoveButtonForTarget(); });
  if (startRadio) awakeFromNib();
}

NowPlayingController::~NowPlayingController() {
  controller_.reset();  // stops the player and drops answers on their way before the views go
  if (view_) {
    view_->setObj(nullptr);
    delete view_.data();
  }
}

void NowPlayingController::awakeFromNib() { controller_->awakeFromNib(); }

void NowPlayingController::setControllerHooks(MainViewController::Hooks hooks) {
  hooks_ = std::move(hooks);
  MainViewController::Hooks mine = hooks_;
  mine.trackShown = [this](const std::shared_ptr<TNSong>& song) {
    setLoveButtonForTarget();
    if (hooks_.trackShown) hooks_.trackShown(song);
  };
  mine.configControl = [this] {
    configControl();
    if (hooks_.configControl) hooks_.configControl();
  };
  controller_->setHooks(std::move(mine));
}

QWidget* NowPlayingController::view() { return view_; }

// The page as its layout file would give it, then the set-up of the page's own fields.
void NowPlayingController::buildPage() {
  NowPlayingView* page = view_;

  albumCover_ = new CoverImageView(page);
  albumCover_->setGeometry(frame(0, 0, NowPlayingView::kHalf, NowPlayingView::kHalf));

  controlView_ = new ControlView(page);
  controlView_->setGeometry(frame(0, 0, ControlView::kSide, ControlView::kSide));

  trackName_ = new TextField(page);
  // As wide as the panel allows (to x 492, where the slider ends); the taste buttons narrow it
  // while they stand beside it.
  trackName_->setGeometry(frame(276, 206, 216, 30));
  trackName_->setTextFont(systemFont(20, true));
  trackName_->setTextColor(kTitleColor);

  artist_ = new TextField(page);
  artist_->setGeometry(frame(276, 184, 200, 20));
  artist_->setTextFont(systemFont(14));
  artist_->setTextColor(kArtistColor);

  album_ = new TextField(page);
  album_->setGeometry(frame(276, 164, 200, 18));
  album_->setTextFont(systemFont(12));

  positionLabel_ = new TextField(page);
  positionLabel_->setGeometry(frame(432, 119, 60, 14));
  positionLabel_->setTextFont(systemFont(11));
  positionLabel_->setTextColor(kAlbumColor);
  positionLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  progressSlider_ = new KKSlideView(page);
  progressSlider_->setGeometry(frame(276, 102, 216, 12));

  lrcShow_ = new QPlainTextEdit(page);
  lrcShow_->setGeometry(frame(272, 8, 224, 88));
  lrcShow_->setReadOnly(true);
  lrcShow_->setFrameShape(QFrame::NoFrame);
  lrcShow_->setFont(systemFont(12));
  lrcShow_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // The untimed lyrics are white: a dark, rounded ground carries them on the light panel.
  lrcShow_->setStyleSheet(QStringLiteral(
      "QPlainTextEdit { background: rgba(26, 20, 61, 200); color: white; border-radius: 8px; padding: 4px; }"
      "QScrollBar:vertical { background: transparent; width: 6px; margin: 4px 1px; }"
      "QScrollBar::handle:vertical { background: rgba(255, 255, 255, 110); border-radius: 2px; min-height: "
      "16px; }"
      "QScrollBar::add-line, QScrollBar::sub-line { height: 0; }"
      "QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }"));

  lrcView_ = new LineLrcView(page);
  lrcView_->setGeometry(frame(256, 8, 256, 48));
  lrcView_->setScrollView(lrcShow_);

  // In the lyrics' place while nothing plays.
  notice_ = new QLabel(page);
  notice_->setGeometry(frame(266, 8, 236, 48));
  notice_->setAlignment(Qt::AlignCenter);
  notice_->setWordWrap(true);
  notice_->setFont(systemFont(13));
  notice_->setStyleSheet(QStringLiteral("color: rgb(45, 41, 74);"));
  notice_->hide();

  // The page's own set-up: the artists' field 200 wide, the album in grey, the slider reporting to
  // the controller, and the readout.
  artist_->resize(200, artist_->height());
  album_->setTextColor(kAlbumColor);
  progressSlider_->addTarget([this](KKSlideView*) { controller_->sliderMoved(); });
  progressNumView_ = new ProgressNumView(page);
  progressNumView_->setGeometry(frame(276, 122, 100, 100));
}

void NowPlayingController::setArtistText(const std::string& text) { artist_->setText(qstr(text)); }
void NowPlayingController::setAlbumText(const std::string& text) { album_->setText(qstr(text)); }
void NowPlayingController::setTrackNameText(const std::string& text) {
  trackName_->setText(qstr(text));
  Q_EMIT trackShown();
}
void NowPlayingController::setPositionText(const std::string& text) { positionLabel_->setText(qstr(text)); }

void NowPlayingController::readoutSetString(const std::string& text) {
  progressNumView_->setString(qstr(text));
}
void NowPlayingController::readoutSetColor(int color) {
  progressNumView_->setColor(color);
  progressNumView_->display();  // the colour follows the pointer at once, also while nothing plays
}
void NowPlayingController::readoutDisplay() { progressNumView_->display(); }

void NowPlayingController::sliderSetProgress(double percent) { progressSlider_->setProgress(percent); }
double NowPlayingController::sliderGetProgress() const { return progressSlider_->getProgress(); }
bool NowPlayingController::sliderIsDown() const { return progressSlider_->isDown(); }
bool NowPlayingController::sliderIsEntered() const { return progressSlider_->isEntered(); }
bool NowPlayingController::sliderIsSeek() const { return progressSlider_->isSeek(); }

void NowPlayingController::lrcSetLrc(const std::optional<std::string>& text) {
  lrcView_->setLrc(text);
  lyricsLine_.clear();
  Q_EMIT lyricsSet();
}
void NowPlayingController::lrcProcess() { lrcView_->processLrc(); }
void NowPlayingController::lrcSetTimestamp(double seconds) { lrcView_->setTimestamp(seconds); }
void NowPlayingController::lrcDisplay() {
  lrcView_->display();
  reportLyricsLine();
  Q_EMIT lyricsDisplayed();
}

// The current line goes to the session bus (and from there to the desktop's sound menu) whenever
// it has timed lines to move through.
bool NowPlayingController::lrcShownOutside() const { return !lrcView_->model().sortedTimes().empty(); }

std::optional<double> NowPlayingController::lrcNextLineTime(double seconds) const {
  const auto& times = lrcView_->model().sortedTimes();
  const auto next = std::upper_bound(times.begin(), times.end(), seconds,
                                     [](double at, float time) { return at < double(time); });
  if (next == times.end()) return std::nullopt;
  return double(*next);
}

void NowPlayingController::reportLyricsLine() {
  const QString line = lrcView_->currentLine();
  if (line == lyricsLine_) return;
  lyricsLine_ = line;
  Q_EMIT lyricsLineChanged(line);
}

void NowPlayingController::refreshImage(const QImage& image, bool yOrn) {
  albumCover_->refreshImage(image, yOrn);
  if (!yOrn) Q_EMIT albumCoverShown(!image.isNull());
}

void NowPlayingController::playButtonSetOn(bool on) {
  playButtonOn_ = on;
  if (playButton_) playButton_->setOn(on);
  Q_EMIT playStateChanged();
}

void NowPlayingController::setWindowTitle(const std::string& title) {
  windowTitle_ = qstr(title);
  if (view_ && view_->window() != view_) view_->window()->setWindowTitle(windowTitle_);
}

void NowPlayingController::showNotice(const std::string& text) {
  notice_->setText(text.empty() ? QString() : QCoreApplication::translate("MainViewController", text.c_str()));
  notice_->setVisible(!text.empty());
  lrcView_->setVisible(text.empty());
}

void NowPlayingController::watchWindow() {
  QWidget* window = view_ ? view_->window() : nullptr;
  if (window == watchedWindow_) return;
  if (watchedWindow_ && watchedWindow_ != view_) watchedWindow_->removeEventFilter(this);
  watchedWindow_ = window;
  if (window && window != view_) {
    window->installEventFilter(this);
    if (!windowTitle_.isEmpty()) window->setWindowTitle(windowTitle_);
  }
  updateShown();
}

void NowPlayingController::updateShown() {
  const QWidget* window = watchedWindow_;
  const bool shown = window && window->isVisible() && !window->isMinimized();
  if (albumCover_) albumCover_->setWindowShown(shown);
  if (controller_) controller_->setProgressShown(shown);
}

bool NowPlayingController::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::ParentChange:
      if (watched == view_) watchWindow();
      break;
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::WindowStateChange:
      if (watched == watchedWindow_) updateShown();
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace tonvera
