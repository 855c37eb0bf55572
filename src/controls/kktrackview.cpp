#include "controls/kktrackview.h"

#include <QEnterEvent>
#include <QMouseEvent>

#include "controls/navigator.h"

namespace tonvera {

namespace {
PageNavigator* gNavigator = nullptr;
}  // namespace

PageNavigator* appNavigator() { return gNavigator; }
void setAppNavigator(PageNavigator* navigator) { gNavigator = navigator; }

KKTrackView::KKTrackView(QWidget* parent) : QWidget(parent) { setMouseTracking(true); }

void KKTrackView::trackEntered(const QPointF&) { update(); }
void KKTrackView::trackMoved(const QPointF&) { update(); }
void KKTrackView::trackExited() { update(); }

void KKTrackView::enterEvent(QEnterEvent* event) {
  trackEntered(mapTo(window(), event->position()));
  QWidget::enterEvent(event);
}

void KKTrackView::mouseMoveEvent(QMouseEvent* event) {
  trackMoved(mapTo(window(), event->position()));
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
