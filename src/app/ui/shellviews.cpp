#include "app/ui/shellviews.h"

#include <QPaintEvent>
#include <QPainter>

#include "controls/resources.h"

namespace tonvera {

BackgroundViw::BackgroundViw(QWidget* parent)
    : QWidget(parent), picture_(ResourcePicture::load(QStringLiteral("Main.png"))) {}

void BackgroundViw::paintEvent(QPaintEvent* event) {
  if (!picture_) {
    return;  // the window's ground colour shows instead
  }
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
  painter.setOpacity(1.0);
  const qreal dpr = painter.device()->devicePixelRatioF();
  const QPixmap whole = picture_->pixmap(dpr);
  const QRectF area = QRectF(event->rect());
  const QRectF source(area.x() * dpr, area.y() * dpr, area.width() * dpr, area.height() * dpr);
  painter.drawPixmap(area, whole, source);
}

LeftView::LeftView(QWidget* parent) : QWidget(parent) {}

RightView::RightView(QWidget* parent) : QWidget(parent) {}

void RightView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
}

SettingView::SettingView(QWidget* parent) : MainView(parent) {}

LoginView::LoginView(QWidget* parent) : MainView(parent) {}

}  // namespace tonvera
