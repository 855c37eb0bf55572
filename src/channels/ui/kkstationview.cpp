#include "channels/ui/kkstationview.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include "channels/channelcatalogue.h"
#include "controls/fonts.h"
#include "controls/geometry.h"
#include "controls/resources.h"

namespace tonvera {
namespace {

// The name band along the tile's lower edge and the name's box inside it (bottom-up).
constexpr qreal kBandHeight = 24;
constexpr int kNameFontSize = 18;

}  // namespace

KKStationView::KKStationView(QWidget* parent) : QWidget(parent) { setEnabled(false); }

void KKStationView::addTarget(Action action) {
  action_ = std::move(action);
  setEnabled(true);
}

void KKStationView::setImage(const QImage& picture) {
  imageRef_ = picture.copy();
  update();
}

void KKStationView::setPlaceholder(std::shared_ptr<const ResourcePicture> placeholder) {
  placeholder_ = std::move(placeholder);
  update();
}

void KKStationView::setInfo(PlistValue info) {
  info_ = std::move(info);
  update();
}

void KKStationView::enterEvent(QEnterEvent* event) {
  update();
  QWidget::enterEvent(event);
}

void KKStationView::mousePressEvent(QMouseEvent* event) {
  event->accept();
  update();
}

void KKStationView::mouseReleaseEvent(QMouseEvent* event) {
  // Sent on release wherever it happens: the tile holds the pointer from the press on.
  event->accept();
  if (event->button() == Qt::LeftButton && action_) action_(this);
  update();
}

void KKStationView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  const qreal w = width();
  const qreal h = height();
  const QRectF bounds(0, 0, w, h);
  if (!imageRef_.isNull()) {
    painter.drawImage(bounds, imageRef_);
  } else if (placeholder_) {
    const QPixmap pixmap = placeholder_->pixmap(painter.device()->devicePixelRatioF());
    painter.drawPixmap(bounds, pixmap, QRectF(QPointF(0, 0), pixmap.size()));
  }
  painter.fillRect(geometry::fromBottomUp(0, 0, w, kBandHeight, h), QColor(0, 0, 0, 128));

  const QRectF nameBox = geometry::fromBottomUp(2, 2, w - 4, kBandHeight - 2, h);
  const QFont font = systemFont(kNameFontSize);
  painter.setFont(font);
  painter.setPen(QColor::fromRgbF(1, 1, 1, 0.8f));
  const QString name = QString::fromStdString(channelName(info_));
  painter.drawText(nameBox, Qt::AlignCenter | Qt::TextSingleLine,
                   QFontMetrics(font).elidedText(name, Qt::ElideRight, static_cast<int>(nameBox.width())));
}

}  // namespace tonvera
