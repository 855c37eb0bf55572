#include "display/ui/progressnumview.h"

#include <QPainter>

#include "controls/geometry.h"
#include "controls/resources.h"

namespace tonvera {

ProgressNumView::ProgressNumView(QWidget* parent)
    : QWidget(parent), image_(ResourcePicture::load(QStringLiteral("NUMFONT6x8.png"))) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

std::optional<int> ProgressNumView::glyphOf(QChar c) {
  const char16_t u = c.unicode();
  if (u >= u'0' && u <= u'9') return static_cast<int>(u - u'0');
  switch (u) {
    case u':':
      return 10;
    case u'.':
      return 11;
    case u'+':
      return 12;
    case u'-':
      return 13;
    case u'/':
      return 14;
    default:
      return std::nullopt;
  }
}

std::vector<ProgressNumView::Cell> ProgressNumView::cells(const QString& text) {
  std::vector<Cell> out;
  out.reserve(static_cast<std::size_t>(text.size()));
  bool dim = false;
  int pen = 0;
  for (QChar c : text) {
    Cell cell;
    cell.x = pen;
    cell.glyph = glyphOf(c);
    if (c == u'/') dim = true;
    cell.dim = dim;
    out.push_back(cell);
    pen += kAdvance;
  }
  return out;
}

QColor ProgressNumView::stateColor(int color) {
  switch (color) {
    case 1:
      return QColor::fromRgbF(0, 0, 0, 1);
    case 2:
      return QColor::fromRgbF(1, 0.5f, 0, 1);
    default:
      return dimColor();
  }
}

QColor ProgressNumView::dimColor() { return QColor::fromRgbF(0, 0, 0, 0.4f); }

void ProgressNumView::display() {
  if (string_ == drawnString_ && color_ == drawnColor_) return;
  // Only the glyph row: the view is taller than its text and reaches over the fields above it,
  // which would be drawn again with it.
  update(geometry::fromBottomUp(0, 0, width(), kGlyphHeight, height()).toAlignedRect());
}

void ProgressNumView::paintEvent(QPaintEvent*) {
  drawnString_ = string_;
  drawnColor_ = color_;
  if (!image_) return;
  QPainter painter(this);
  const qreal dpr = painter.device()->devicePixelRatioF();
  const QColor state = stateColor(color_);
  const QColor dim = dimColor();
  for (const Cell& cell : cells(string_)) {
    if (!cell.glyph) continue;
    const QRectF source(*cell.glyph * kGlyphWidth, 0, kGlyphWidth, kGlyphHeight);
    QPixmap glyph = image_->cut(source, dpr);
    // The glyph's shape filled with the colour: the glyph is the mask.
    {
      QPainter tint(&glyph);
      tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
      tint.fillRect(QRectF(0, 0, kGlyphWidth, kGlyphHeight), cell.dim ? dim : state);
    }
    painter.drawPixmap(geometry::fromBottomUp(cell.x, 0, kGlyphWidth, kGlyphHeight, height()), glyph,
                       QRectF(QPointF(0, 0), QSizeF(glyph.size())));
  }
}

}  // namespace tonvera
