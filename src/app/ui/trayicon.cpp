#include "app/ui/trayicon.h"

#include <QIcon>
#include <QMenu>

#include "keys/spmediakeytap.h"

namespace tonvera {

TrayIcon::TrayIcon(Actions actions, QObject* parent)
    : QObject(parent), actions_(std::move(actions)), menu_(std::make_unique<QMenu>()) {
  const auto add = [this](const QString& text, const std::function<void()>& action) {
    QAction* item = menu_->addAction(text);
    connect(item, &QAction::triggered, this, [action] {
      if (action) action();
    });
    return item;
  };
  add(tr("播放/暂停"), actions_.playPause);
  add(tr("下一首"), actions_.next);
  // Checked shows the song's like as stored; the action toggles it and the new state comes back
  // through setNowPlaying, so the item never shows a like that did not happen.
  like_ = add(tr("喜欢"), actions_.like);
  like_->setCheckable(true);
  like_->setEnabled(false);
  connect(like_, &QAction::triggered, this, [this] { like_->setChecked(liked_); });
  menu_->addSeparator();
  raise_ = add(tr("显示窗口"), actions_.raise);
  add(tr("退出"), actions_.quit);

  // The program's own icon (CUBEICON is the page grid's sprite sheet, not an icon).
  icon_.setIcon(QIcon::fromTheme(QString::fromLatin1(SPMediaKeyTap::kOwnIdentifier),
                                 QIcon(QStringLiteral(":/desktop/org.tonvera.Tonvera.svg"))));
  icon_.setToolTip(QStringLiteral("Tonvera"));
  icon_.setContextMenu(menu_.get());
  connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger && actions_.raise) actions_.raise();
  });
}

TrayIcon::~TrayIcon() { icon_.hide(); }

void TrayIcon::addActions(const QList<QAction*>& actions) {
  menu_->insertActions(raise_, actions);
  menu_->insertSeparator(raise_);
}

void TrayIcon::setNowPlaying(const NowPlayingInfo& info) {
  liked_ = info.liked && !info.trackId.empty();
  like_->setChecked(liked_);
  like_->setEnabled(!info.trackId.empty() && actions_.like != nullptr);
  if (info.trackId.empty()) {
    icon_.setToolTip(QStringLiteral("Tonvera"));
    return;
  }
  QStringList artists;
  for (const auto& a : info.artists) artists << QString::fromStdString(a);
  QString tip = QString::fromStdString(info.title);
  if (!artists.isEmpty()) tip += QStringLiteral(" — ") + artists.join(QStringLiteral(" / "));
  icon_.setToolTip(tip);
}

}  // namespace tonvera
