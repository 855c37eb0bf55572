#include "app/ui/appdelegate.h"

#include <QColor>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPropertyAnimation>
#include <string>

#include "app/ui/kkwindow.h"
#include "app/ui/nowplayingbus.h"
#include "app/ui/shellviews.h"
#include "keys/preferences.h"
#include "platform/log.h"
#include "platform/notificationcenter.h"
#include "platform/plist.h"
#include "platform/userdefaults.h"
#include "radio/mainviewcontroller.h"
#include "stats/tonverareport.h"

namespace tonvera {
namespace {

std::string describe(const PlistValue::Dict& dict) {
  std::string text = "{";
  for (const auto& [key, value] : dict) {
    text += "\n    " + key + " = ";
    if (value.isData()) {
      text += "<" + std::to_string(value.data().size()) + " bytes>";
    } else if (value.type() == PlistValue::Type::Bool) {
      text += value.toBool() ? "1" : "0";
    } else {
      text += "...";
    }
    text += ";";
  }
  return text + "\n}";
}

// The window's media keys as the delegate takes them; nothing for other keys.
std::optional<MediaKeyEvent> mediaKeyOf(const QKeyEvent& key) {
  MediaKeyEvent event;
  switch (key.key()) {
    case Qt::Key_MediaPlay:
    case Qt::Key_MediaTogglePlayPause:
      event.keyCode = MediaKeyEvent::kPlayPause;
      break;
    case Qt::Key_MediaNext:
      event.keyCode = MediaKeyEvent::kFastForward;
      break;
    case Qt::Key_MediaPrevious:
      event.keyCode = MediaKeyEvent::kRewind;
      break;
    default:
      return std::nullopt;
  }
  event.keyDown = key.type() == QEvent::KeyPress;
  event.isRepeat = key.isAutoRepeat();
  return event;
}

}  // namespace

void AppDelegate::registerDefaults(UserDefaults& defaults) {
  const PlistValue::Dict first{{"BNRTableBackgroundColor", PlistValue(archiveColor(QColor(Qt::yellow)))},
                               {"BNREmptyDocumentFlag", PlistValue(false)}};
  defaults.registerDefaults(first);
  logDebug(lcApp, "registered defaults: %s", describe(first).c_str());
  PlistValue::Array apps;
  for (const std::string& id : defaultMediaKeyUserBundleIdentifiers()) apps.emplace_back(id);
  defaults.registerDefaults({{kApplicationsNeedingMediaKeysKey, PlistValue(std::move(apps))}});
}

AppDelegate::AppDelegate(KKWindow& window, Options options) : window_(window), options_(options) {
  QCoreApplication::instance()->installEventFilter(this);
  connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
          [this] { applicationWillTerminate(); });
}

AppDelegate::~AppDelegate() {
  if (appNavigator() == this) setAppNavigator(nullptr);
  for (auto& [view, animation] : animations_) {
    if (animation) animation->stop();
  }
}

void AppDelegate::applicationDidFinishLaunching() {
  setAppNavigator(this);
  // Media keys from outside the window come over the session bus unless the listener said no.
  keyTap_ = std::make_unique<SPMediaKeyTap>(this, UserDefaults::standard());
  if (options_.mediaKeysOnBus && SPMediaKeyTap::usesGlobalMediaKeyTap(UserDefaults::standard())) {
    keyTap_->startWatchingMediaKeys();
  }
  configVCs();
  feedMediaKeyTap(*controllers_.front(), *keyTap_);
  if (QWidget* main = pageView(selectIndex_)) {
    main->setParent(window_.contentView());
    main->move(0, 0);
    main->show();
  }
  window_.show();
  window_.raise();
  window_.activateWindow();
  if (options_.reportUsage) {
    TonveraReport::setTonveraAppkey(kTonveraAppKey, kTonveraAppIdentifier, kTonveraReportChannel,
                                    kTonveraVersionName);
    TonveraReport::appLaunched();
  }
}

void AppDelegate::applicationWillTerminate() {
  if (terminated_) return;
  terminated_ = true;
  if (options_.reportUsage) TonveraReport::appTerminated();
}

void AppDelegate::configVCs() {
  if (controllers_.empty() && options_.makePage) {
    for (int i = 0; i < kPageCount; ++i) controllers_.push_back(options_.makePage(i));
  } else if (controllers_.empty()) {
    const PageOptions& o = options_.pages;
    controllers_.push_back(makeMainViewController(o));
    controllers_.push_back(makeChannelViewController(o));
    controllers_.push_back(makePrivateViewController(o));
    controllers_.push_back(makeLoveViewController(o));
    controllers_.push_back(makeHelpViewController(o));
    controllers_.push_back(std::make_unique<SettingViewController>());
    controllers_.push_back(std::make_unique<LoginViewController>());
  }
  selectIndex_ = 0;
}

QWidget* AppDelegate::pageView(int index) const {
  if (index < 0 || index >= static_cast<int>(controllers_.size())) return nullptr;
  return controllers_[static_cast<size_t>(index)]->view();
}

bool AppDelegate::isAnimating() const {
  for (const auto& [view, animation] : animations_) {
    if (animation && animation->state() == QAbstractAnimation::Running) return true;
  }
  return false;
}

int AppDelegate::targetX(QWidget* view) const {
  auto it = animations_.find(view);
  if (it != animations_.end() && it->second && it->second->state() == QAbstractAnimation::Running) {
    return it->second->endValue().toPoint().x();
  }
  return view->x();
}

void AppDelegate::animateX(QWidget* view, int x) {
  if (auto it = animations_.find(view); it != animations_.end() && it->second) {
    it->second->stop();
    it->second->deleteLater();
  }
  auto* animation = new QPropertyAnimation(view, "pos", this);
  animation->setDuration(kAnimationMs);
  animation->setStartValue(view->pos());
  animation->setEndValue(QPoint(x, view->y()));
  animations_[view] = animation;
  animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void AppDelegate::selectViewControllerIndex(int index) {
  QWidget* page = pageView(index);
  QWidget* main = pageView(0);
  if (page == nullptr || main == nullptr || index == 0) return;
  if (auto it = animations_.find(page); it != animations_.end() && it->second) it->second->stop();
  page->move(-kShift, 0);
  if (page->parent() == nullptr) {
    page->setParent(window_.contentView());
  }
  page->raise();
  page->show();
  animateX(page, 0);
  selectIndex_ = index;
  // The now-playing page moves on from where it is (or is going): a second selection without a
  // return takes it a further 512 to the right.
  animateX(main, targetX(main) + kShift);
}

void AppDelegate::showMain() {
  if (selectIndex_ == 0) return;
  if (QWidget* page = pageView(selectIndex_)) {
    if (auto it = animations_.find(page); it != animations_.end() && it->second) it->second->stop();
    page->move(-kShift, 0);  // leaves at once
  }
  selectIndex_ = 0;
  controllers_[0]->showCoverView();
  animateX(pageView(0), 0);
}

void AppDelegate::showPreferencePanel() {
  if (!preferenceController_) {
    preferenceController_ = makePreferenceController();
    if (!preferenceController_) {
      log(lcApp, "showing nothing: the preferences window could not be made");
      return;
    }
  }
  logDebug(lcApp, "showing <%s: %p>", preferenceController_->metaObject()->className(),
      static_cast<const void*>(preferenceController_.get()));
  preferenceController_->show();
  preferenceController_->raise();
  preferenceController_->activateWindow();
}

void AppDelegate::terminate() {
  terminating_ = true;
  QCoreApplication::quit();
}

void AppDelegate::mediaKeyTap(SPMediaKeyTap*, const MediaKeyEvent& event) { mediaKeyTap(event); }

void AppDelegate::mediaKeyTap(const MediaKeyEvent& event) {
  if (!event.keyDown) return;  // key-ups do nothing; repeats act like presses
  int state = 0;
  switch (event.keyCode) {
    case MediaKeyEvent::kRewind:
      state = 1;
      break;
    case MediaKeyEvent::kPlayPause:
      state = 2;
      break;
    case MediaKeyEvent::kFastForward:
      state = 3;
      break;
    default:
      return;
  }
  NotificationCenter::defaultCenter().post(kPlayBackChangedNotification, this,
                                           PlistValue(PlistValue::Dict{{"state", PlistValue(state)}}));
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
  // The window coming to the front takes the media keys back from players used since.
  if (event->type() == QEvent::WindowActivate && watched == &window_ && keyTap_) {
    keyTap_->appIsNowFrontmost(SPMediaKeyTap::kOwnIdentifier, QCoreApplication::applicationPid());
  }
  if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
      window_.isActiveWindow()) {
    if (auto key = mediaKeyOf(*static_cast<QKeyEvent*>(event))) {
      mediaKeyTap(*key);
      return true;  // taken here, not passed on
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace tonvera
