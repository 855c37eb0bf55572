#include "controls/kktrackview.h"

#include <QCoreApplication>
#include <QEnterEvent>
#include <QMouseEvent>

#include "controls/navigator.h"

namespace tonvera {

namespace {
PageNavigator* gNavigator = nullptr;
}  // namespace

PageNavigator* appNavigator() { return gNavigator; }
void setAppNavigator(PageNavigator* navigator) { gNavigator = navigator; }

KKTrackView::KKTrackView(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  // A child without mouse tracking (a button) keeps the pointer's moves to itself, so the view
  // would lose the pointer over its own controls; the view follows every move inside it instead.
  QCoreApplication::instance()->installEventFilter(this);
}

bool KKTrackView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseMove && watched != this && watched->isWidgetType() &&
      isAncestorOf(static_cast<QWidget*>(watched))) {
    noteMove(*static_cast<QMouseEvent*>(event));
  }
  return QWidget::eventFilter(watched, event);
}

void KKTrackView::noteMove(const QMouseEvent& event) {
  if (event.timestamp() == lastMoveTime_ && event.globalPosition() == lastMovePos_) return;
  lastMoveTime_ = event.timestamp();
  lastMovePos_ = event.globalPosition();
  trackMoved(mapTo(window(), mapFromGlobal(event.globalPosition())));
}

void KKTrackView::trackEntered(const QPointF&) { update(); }
void KKTrackView::trackMoved(const QPointF&) { update(); }
void KKTrackView::trackExited() { update(); }

void KKTrackView::enterEvent(QEnterEvent* event) {
  trackEntered(mapTo(window(), event->position()));
  QWidget::enterEvent(event);
}

void KKTrackView::mouseMoveEvent(QMouseEvent* event) {
  noteMove(*event);
  QWidget::mouseMoveEvent(event);
}

void KKTrackView::leaveEvent(QEvent* event) {
  trackExited();
  QWidget::leaveEvent(event);
}

MainView::MainView(QWidget* parent) : KKTrackView(parent) {}

void MainView::trackEntered(const QPointF& windowPos) { trackMoved(windowPos); }

void MainView::trackMoved(const QPointF& windowPos) {
  if (obj_ != nullptr) {
    obj_->mouseMoved(windowPos);
  }
}

void MainView::trackExited() {
  if (obj_ != nullptr) {
    obj_->mouseExited();
  } else if (PageNavigator* nav = appNavigator()) {
    nav->showMain();
  }
}

}  // namespace tonvera
