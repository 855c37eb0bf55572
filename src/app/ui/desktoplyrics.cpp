#include "app/ui/desktoplyrics.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>

#include "app/ui/windowplace.h"
#include "display/ui/desktoplyricsview.h"
#include "display/ui/linelrcview.h"
#include "keys/preferences.h"
#include "platform/userdefaults.h"
#include "radio/ui/nowplayingcontroller.h"
#include "radio/ui/nowplayingview.h"

namespace tonvera {
namespace {

// The place is written this long after the window last moved or changed size (milliseconds).
constexpr int kSaveDelayMs = 800;
// The first place: centred, this far above the bottom of the screen's free area.
constexpr int kBottomGap = 96;

// Watches the view's moves and sizes.
class FrameWatch : public QObject {
 public:
  FrameWatch(QTimer& timer, QObject* parent) : QObject(parent), timer_(timer) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Move || event->type() == QEvent::Resize) timer_.start();
    return QObject::eventFilter(watched, event);
  }

 private:
  QTimer& timer_;
};

}  // namespace

DesktopLyrics::DesktopLyrics(NowPlayingController& page, UserDefaults& defaults, QObject* parent)
    : QObject(parent), page_(&page), defaults_(defaults), view_(std::make_unique<DesktopLyricsView>()) {
  show_ = new QAction(tr("桌面歌词"), this);
  show_->setCheckable(true);
  unlock_ = new QAction(tr("解锁桌面歌词"), this);
  connect(show_, &QAction::triggered, this, [this](bool on) { Preferences::setDesktopLyrics(defaults_, on); });
  connect(unlock_, &QAction::triggered, this, [this] { view_->setLocked(false); });
  connect(view_.get(), &DesktopLyricsView::hideRequested, this,
          [this] { Preferences::setDesktopLyrics(defaults_, false); });
  connect(view_.get(), &DesktopLyricsView::lockedChanged, this, [this](bool locked) {
    unlock_->setVisible(locked);
    defaults_.set(kDesktopLyricsLockedKey, PlistValue(locked));
  });
  connect(view_.get(), &DesktopLyricsView::fontSizeChanged, this,
          [this](int pixels) { defaults_.set(kDesktopLyricsFontSizeKey, PlistValue(pixels)); });

  DesktopLyricsView::Source source;
  source.model = &page.lrcView()->model();
  source.position = [this] {
    RadioPlayer* player = page_ ? page_->controller().streamer() : nullptr;
    return player != nullptr ? player->progress() : 0.0;
  };
  source.duration = [this] {
    RadioPlayer* player = page_ ? page_->controller().streamer() : nullptr;
    return player != nullptr ? player->duration() : 0.0;
  };
  view_->setSource(std::move(source));
  // Until the new track's lyrics come, the page still holds the last track's: the title shows.
  connect(&page, &NowPlayingController::trackShown, this, [this] {
    view_->setLyricsReady(false);
    title_ = page_->trackNameField()->text();
    artist_ = page_->artistField()->text().trimmed();
    followPlayer();
  });
  connect(&page, &NowPlayingController::lyricsSet, this, [this] { view_->setLyricsReady(true); });
  connect(&page, &NowPlayingController::lyricsDisplayed, view_.get(), &DesktopLyricsView::lyricsChanged);
  connect(&page, &NowPlayingController::playStateChanged, this, [this] { followPlayer(); });

  view_->setFontSize(static_cast<int>(defaults_.integerForKey(kDesktopLyricsFontSizeKey)) > 0
                         ? static_cast<int>(defaults_.integerForKey(kDesktopLyricsFontSizeKey))
                         : DesktopLyricsView::kDefaultFontSize);
  view_->setLocked(defaults_.boolForKey(kDesktopLyricsLockedKey));
  unlock_->setVisible(view_->isLocked());
  restoreFrame();
  saveLater_.setSingleShot(true);
  saveLater_.setInterval(kSaveDelayMs);
  connect(&saveLater_, &QTimer::timeout, this, [this] { saveFrame(); });
  view_->installEventFilter(new FrameWatch(saveLater_, this));
  connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] { saveFrame(); });

  preferences_ = ScopedObserver(NotificationCenter::defaultCenter(), kPreferencesChangedNotification, nullptr,
                                [this](const Notification&) { followPreferences(); });
  followPlayer();
  followPreferences();
}

DesktopLyrics::~DesktopLyrics() {
  if (saveLater_.isActive()) saveFrame();
}

void DesktopLyrics::followPreferences() {
  const bool on = Preferences::desktopLyrics(defaults_);
  show_->setChecked(on);
  view_->setColor(Preferences::preferenceTableBgColor(defaults_));
  if (on && !view_->isVisible()) {
    view_->show();
  } else if (!on && view_->isVisible()) {
    view_->hide();
  }
}

// No player: no song plays and the text goes; a paused player keeps its line.
void DesktopLyrics::followPlayer() {
  RadioPlayer* player = page_ ? page_->controller().streamer() : nullptr;
  view_->setSong(player != nullptr ? title_ : QString(), artist_);
  view_->setPlaying(player != nullptr && !player->isPaused() && !player->isIdle());
}

void DesktopLyrics::restoreFrame() {
  const PlistValue::Array frame = defaults_.arrayForKey(kDesktopLyricsFrameKey);
  QList<QRect> screens;
  for (const QScreen* screen : QGuiApplication::screens()) screens << screen->availableGeometry();
  QSize size = DesktopLyricsView::kDefaultSize;
  std::optional<QPoint> origin;
  if (frame.size() == 4 && std::all_of(frame.begin(), frame.end(), [](const PlistValue& v) { return v.isInteger(); })) {
    origin = QPoint(static_cast<int>(frame[0].toInteger()), static_cast<int>(frame[1].toInteger()));
    size = QSize(static_cast<int>(frame[2].toInteger()), static_cast<int>(frame[3].toInteger()))
               .expandedTo(view_->minimumSize());
  }
  if (!origin && !screens.isEmpty()) {
    const QRect free = screens.front();
    origin = QPoint(free.center().x() - size.width() / 2, free.bottom() - kBottomGap - size.height());
  }
  view_->resize(size);
  if (origin) view_->move(clampToScreens(*origin, size, screens));
}

void DesktopLyrics::saveFrame() {
  saveLater_.stop();
  const QRect frame = view_->geometry();
  defaults_.set(kDesktopLyricsFrameKey, PlistValue(PlistValue::Array{PlistValue(frame.x()), PlistValue(frame.y()),
                                                                      PlistValue(frame.width()),
                                                                      PlistValue(frame.height())}));
}

std::unique_ptr<DesktopLyrics> makeDesktopLyrics(PageController& page, UserDefaults& defaults) {
  auto* nowPlaying = dynamic_cast<NowPlayingController*>(&page);
  if (nowPlaying == nullptr) return nullptr;
  return std::make_unique<DesktopLyrics>(*nowPlaying, defaults);
}

}  // namespace tonvera
