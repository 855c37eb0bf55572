#include "controls/pageviews.h"

#include <QPainter>

#include "controls/geometry.h"

namespace tonvera {

HelpView::HelpView(QWidget* parent) : MainView(parent) {}

void HelpView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor::fromRgbF(1, 1, 1, 0.7f));
}

LoveView::LoveView(QWidget* parent) : MainView(parent) {}

void LoveView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(geometry::fromBottomUp(kMenuWidth, 0, width() - kMenuWidth, 256, height()), Qt::white);
}


}  // namespace tonvera
