#include "taste/ui/tneventtuiview.h"

namespace tonvera {

TNEventTUIView::TNEventTUIView(QWidget* parent) : QWidget(parent) {
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::white);
  setPalette(pal);
}

void TNEventTUIView::mouseEntered(QWidget* subview, const QPointF& globalPos) {
  if (delegate_) delegate_->mouseEntered(subview, globalPos);
}

void TNEventTUIView::mouseExited(QWidget* subview, const QPointF& globalPos) {
  if (delegate_) delegate_->mouseExited(subview, globalPos);
}

}  // namespace tonvera
