#include "radio/ui/nowplayingview.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>

#include "controls/geometry.h"

namespace tonvera {

NowPlayingView::NowPlayingView(QWidget* parent) : MainView(parent) { resize(kWidth, kHeight); }

void NowPlayingView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRectF panel = geometry::fromBottomUp(kHalf, 0, width() - kHalf, height(), height());
  QLinearGradient paper(panel.topLeft(), panel.bottomRight());
  paper.setColorAt(0, QColor(255, 255, 255, 244));
  paper.setColorAt(1, QColor(238, 234, 252, 244));
  painter.fillRect(panel, paper);
  // A thin shade where the panel meets the cover.
  QLinearGradient edge(panel.topLeft(), panel.topLeft() + QPointF(6, 0));
  edge.setColorAt(0, QColor(30, 20, 70, 40));
  edge.setColorAt(1, QColor(30, 20, 70, 0));
  painter.fillRect(QRectF(panel.left(), panel.top(), 6, panel.height()), edge);
}

TextField::TextField(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }

void TextField::setText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  update();
}

void TextField::setTextColor(const QColor& color) {
  color_ = color;
  update();
}

void TextField::setTextFont(const QFont& font) {
  font_ = font;
  update();
}

void TextField::setAlignment(Qt::Alignment alignment) {
  alignment_ = alignment;
  update();
}

qreal TextField::textWidth() const { return QFontMetricsF(font_).horizontalAdvance(text_); }

QString TextField::shownText() const { return QFontMetricsF(font_).elidedText(text_, Qt::ElideRight, width()); }

void TextField::paintEvent(QPaintEvent*) {
  if (text_.isEmpty()) return;
  QPainter painter(this);
  painter.setFont(font_);
  painter.setPen(color_);
  painter.drawText(QRectF(rect()), alignment_ | Qt::TextSingleLine, shownText());
}

}  // namespace tonvera
