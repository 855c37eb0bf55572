// KKWindow: the program's one window, 512 x 256 points, without a title bar. It never zooms and can
// become the key window. Since there are no window controls: a press on an empty area (one no
// control takes) drags the window, a right-click there offers 偏好设置 and 退出, Ctrl+, opens the
// preferences, Ctrl+Q quits, and the window manager's close quits through the normal shutdown,
// unless the program keeps running in the desktop's tray (setKeepRunningOnClose): then the close
// only hides the window and the music plays on. The window manager minimises it.
//
// The content view holds the background picture and, above it, the pages (added by the
// application delegate).
//
// Threads: main thread only.
#pragma once

#include <QList>
#include <QPoint>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>

class QAction;

namespace tonvera {

class BackgroundViw;

class KKWindow : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kWidth = 512;
  static constexpr int kHeight = 256;

  explicit KKWindow(QWidget* parent = nullptr);

  // The parent of the background and the pages.
  QWidget* contentView() const { return content_; }
  // Asked at each close by the window manager: true hides the window instead of quitting.
  void setKeepRunningOnClose(std::function<bool()> keepRunning) { keepRunning_ = std::move(keepRunning); }
  // Items the right-click menu offers above 偏好设置 (not owned; hidden items are left out).
  void setMenuActions(const QList<QAction*>& actions);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;  // no zoom on double-click
  void contextMenuEvent(QContextMenuEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  QWidget* content_ = nullptr;
  BackgroundViw* background_ = nullptr;
  std::function<bool()> keepRunning_;
  QList<QPointer<QAction>> menuActions_;
  std::optional<QPoint> dragOffset_;  // set while the window is dragged by hand (no system move)
};

}  // namespace tonvera
