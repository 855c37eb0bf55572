#include "app/ui/kkwindow.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QShortcut>
#include <QTimer>
#include <QWindow>

#include "app/ui/shellviews.h"
#include "controls/buttons.h"
#include "controls/navigator.h"

namespace tonvera {
namespace {

void quitApplication() {
  if (PageNavigator* nav = appNavigator()) {
    nav->terminate();
  } else {
    QCoreApplication::quit();
  }
}

}  // namespace

KKWindow::KKWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint) {
  setFixedSize(kWidth, kHeight);
  setWindowTitle(QStringLiteral("Tonvera"));
  content_ = new QWidget(this);
  content_->setGeometry(0, 0, kWidth, kHeight);
  // An opaque ground under the background picture, which is drawn source-atop onto it.
  content_->setAutoFillBackground(true);
  QPalette palette = content_->palette();
  palette.setColor(QPalette::Window, QColor(0x1b, 0x1d, 0x4a));
  content_->setPalette(palette);
  background_ = new BackgroundViw(content_);
  background_->setGeometry(0, 0, kWidth, kHeight);

  auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
  quit->setContext(Qt::WindowShortcut);
  connect(quit, &QShortcut::activated, this, [] { quitApplication(); });
  auto* preferences = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma), this);
  preferences->setContext(Qt::WindowShortcut);
  connect(preferences, &QShortcut::activated, this, [] {
    if (PageNavigator* nav = appNavigator()) nav->showPreferencePanel();
  });
}

void KKWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  event->accept();
  // The window manager moves the window when it can; otherwise the window follows the pointer.
  if (windowHandle() != nullptr && windowHandle()->startSystemMove()) {
    return;
  }
  dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void KKWindow::mouseMoveEvent(QMouseEvent* event) {
  if (dragOffset_ && (event->buttons() & Qt::LeftButton)) {
    move(event->globalPosition().toPoint() - *dragOffset_);
    event->accept();
    return;
  }
  QWidget::mouseMoveEvent(event);
}

void KKWindow::mouseReleaseEvent(QMouseEvent* event) {
  dragOffset_.reset();
  QWidget::mouseReleaseEvent(event);
}

void KKWindow::mouseDoubleClickEvent(QMouseEvent* event) { event->accept(); }

void KKWindow::contextMenuEvent(QContextMenuEvent* event) {
  // Only empty areas offer the menu, not the controls.
  QWidget* under = childAt(event->pos());
  if (qobject_cast<NovaColorButton*>(under) != nullptr || qobject_cast<SegControl*>(under) != nullptr) {
    return;
  }
  QMenu menu(this);
  for (const QPointer<QAction>& action : menuActions_) {
    if (action) menu.addAction(action);
  }
  if (!menu.isEmpty()) menu.addSeparator();
  QAction* preferences = menu.addAction(tr("偏好设置"));
  menu.addSeparator();
  QAction* quit = menu.addAction(tr("退出"));
  QAction* chosen = menu.exec(event->globalPos());
  if (chosen == preferences) {
    if (PageNavigator* nav = appNavigator()) nav->showPreferencePanel();
  } else if (chosen == quit) {
    quitApplication();
  }
}

void KKWindow::setMenuActions(const QList<QAction*>& actions) {
  menuActions_.clear();
  for (QAction* action : actions) menuActions_ << action;
}

void KKWindow::closeEvent(QCloseEvent* event) {
  if (keepRunning_ && keepRunning_()) {
    // Into the tray: hidden, not closed, so nothing takes it for the last window closing.
    event->ignore();
    hide();
    return;
  }
  // The window manager's close ends the program the same way as 退出 (the reporter is told once,
  // when the application quits).
  event->accept();
  QTimer::singleShot(0, QCoreApplication::instance(), [] { quitApplication(); });
}

void KKWindow::changeEvent(QEvent* event) {
  if (event->type() == QEvent::WindowStateChange) {
    const Qt::WindowStates zoomed = Qt::WindowMaximized | Qt::WindowFullScreen;
    if (windowState() & zoomed) {
      // The window never zooms: back to its own size, keeping a minimised state.
      QTimer::singleShot(0, this, [this, zoomed] { setWindowState(windowState() & ~zoomed); });
    }
  }
  QWidget::changeEvent(event);
}

}  // namespace tonvera
