#include "controls/buttons.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <array>

#include "controls/fonts.h"
#include "controls/geometry.h"
#include "controls/resources.h"

namespace tonvera {
namespace {

QColor withAlpha(QColor c, qreal alpha) {
  c.setAlphaF(static_cast<float>(alpha));
  return c;
}

// The icon in one colour: its shape filled with `color`.
QPixmap tinted(const QPixmap& icon, const QColor& color) {
  QPixmap out(icon.size());
  out.setDevicePixelRatio(icon.devicePixelRatio());
  out.fill(Qt::transparent);
  QPainter p(&out);
  p.drawPixmap(0, 0, icon);
  p.setCompositionMode(QPainter::CompositionMode_SourceIn);
  p.fillRect(QRectF(QPointF(0, 0), icon.deviceIndependentSize()), color);
  return out;
}

const QColor kOrange = QColor::fromRgbF(1.0f, 0.624f, 0.294f, 1.0f);

}  // namespace

// ---- NovaColorButton ----

NovaColorButton::NovaColorButton(QWidget* parent) : QWidget(parent) {}

void NovaColorButton::addTarget(Action action) {
  action_ = std::move(action);
  setEnabled(true);
}

void NovaColorButton::setImage(std::shared_ptr<const ResourcePicture> sheet, const QRectF& rect) {
  image_ = sheet ? SheetIcon{std::move(sheet), rect} : SheetIcon{};
  update();
}

void NovaColorButton::setColors(Color c0, Color c1, Color c2) {
  color0_ = c0;
  color1_ = c1;
  color2_ = c2;
  update();
}

void NovaColorButton::setColor1Color2(Color c1, Color c2) {
  color0_ = c1 ? Color(withAlpha(*c1, 0.4)) : std::nullopt;
  color1_ = c1;
  color2_ = c2;
  update();
}

void NovaColorButton::sendAction() {
  if (action_) {
    action_(this);
  }
}

void NovaColorButton::onEntered() {
  isEntered_ = true;
  update();
}

void NovaColorButton::onExited() {
  isEntered_ = false;
  update();
}

void NovaColorButton::onPressed() {
  isDown_ = true;
  update();
}

void NovaColorButton::onReleased() {
  isDown_ = false;
  if (isEntered_) {
    sendAction();
  }
  update();
}

void NovaColorButton::enterEvent(QEnterEvent* event) {
  onEntered();
  event->ignore();
}

void NovaColorButton::leaveEvent(QEvent* event) {
  onExited();
  event->ignore();
}

// The pointer's own position decides inside or outside: a button that moved under a pointer at
// rest was never entered, and one that moved away was never left.
void NovaColorButton::followPointer(const QMouseEvent& event) {
  const bool inside = rect().contains(event.position().toPoint());
  if (inside != isEntered_) {
    inside ? onEntered() : onExited();
  }
}

void NovaColorButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    followPointer(*event);
    onPressed();
  }
}

// While held, the button keeps the pointer; following it tells inside from outside the way
// entering and leaving do when no button is held.
void NovaColorButton::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) {
    followPointer(*event);
  }
  event->ignore();  // the page behind follows the pointer too
}

void NovaColorButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    followPointer(*event);
    onReleased();
  }
}

void NovaColorButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  drawButton(painter);
}

void NovaColorButton::drawButton(QPainter& painter) {
  if (isEntered_ && isDown_) {
    drawDown(painter);
  } else if (isEntered_) {
    drawColor(painter, color1_);
  } else {
    drawColor(painter, color0_);
  }
}

void NovaColorButton::drawDown(QPainter& painter) { drawColor(painter, color2_, image_, 1); }

void NovaColorButton::drawColor(QPainter& painter, const Color& color) { drawColor(painter, color, image_, 0); }

void NovaColorButton::drawColor(QPainter& painter, const Color& color, const SheetIcon& icon, qreal offset) {
  if (icon.isNull()) {
    return;
  }
  const float w = static_cast<float>(icon.size().width());
  const float h = static_cast<float>(icon.size().height());
  const float x = (static_cast<float>(width()) - w) * 0.5f;
  const float y = (static_cast<float>(height()) - h) * 0.5f - static_cast<float>(offset);
  const QRectF target = geometry::fromBottomUp(x, y, w, h, height());
  const QPixmap pixmap = icon.sheet->cut(icon.rect, painter.device()->devicePixelRatioF());
  painter.drawPixmap(target, color ? tinted(pixmap, *color) : pixmap, QRectF(QPointF(0, 0), QSizeF(pixmap.size())));
}

// ---- NovaToggleButton ----

NovaToggleButton::NovaToggleButton(QWidget* parent) : NovaColorButton(parent) {}

void NovaToggleButton::setOn(bool on) {
  on_ = on;
  update();
}

void NovaToggleButton::setOnImage(std::shared_ptr<const ResourcePicture> sheet, const QRectF& rect) {
  onImage_ = sheet ? SheetIcon{std::move(sheet), rect} : SheetIcon{};
  update();
}

void NovaToggleButton::setOnColor(Color c) {
  onColor0_ = c ? Color(withAlpha(*c, 0.4)) : std::nullopt;
  onColor1_ = c;
  update();
}

void NovaToggleButton::toggleRelease() {
  if (isEntered_) {
    on_ = !on_;
  }
  NovaColorButton::onReleased();
}

void NovaToggleButton::onReleased() { toggleRelease(); }

void NovaToggleButton::drawButton(QPainter& painter) {
  const SheetIcon& icon = on_ && !onImage_.isNull() ? onImage_ : image();
  if (isEntered_ && isDown_) {
    drawColor(painter, color2(), icon, 1);
  } else if (isEntered_) {
    drawColor(painter, on_ && onColor1_ ? onColor1_ : color1(), icon, 0);
  } else {
    drawColor(painter, on_ && onColor0_ ? onColor0_ : color0(), icon, 0);
  }
}

// ---- StateButton ----

StateButton::StateButton(QWidget* parent) : NovaToggleButton(parent) {}

void StateButton::onPressed() { toggleRelease(); }

void StateButton::onReleased() {}

// ---- NovaControlButton ----

NovaControlButton::NovaControlButton(QWidget* parent) : NovaColorButton(parent) {}

QString NovaControlButton::caption(int tag) {
  static const std::array<const char*, 9> kCaptions = {QT_TR_NOOP("帮助"), "",   QT_TR_NOOP("设置"),
                                                       "",                 "",   "",
                                                       QT_TR_NOOP("公共频道"), QT_TR_NOOP("私人频道"), QT_TR_NOOP("喜好")};
  const char* text = tag >= 0 && tag < static_cast<int>(kCaptions.size()) ? kCaptions[static_cast<size_t>(tag)] : "";
  return *text ? tr(text) : QString();
}

void NovaControlButton::setText(const QString& text) {
  text_ = text;
  update();
}

void NovaControlButton::setImage(std::shared_ptr<const ResourcePicture> sheet, const QRectF& rect) {
  NovaColorButton::setImage(std::move(sheet), rect);
  if (tag() == 4) {
    enteredObserver_ = ScopedObserver(NotificationCenter::defaultCenter(), kNovaControlButtonEnteredNotification,
                                      nullptr, [this](const Notification& n) { drawText(n); });
  }
}

void NovaControlButton::onEntered() {
  NotificationCenter::defaultCenter().post(kNovaControlButtonEnteredNotification, this);
  NovaColorButton::onEntered();
}

void NovaControlButton::drawText(const Notification& notification) {
  // The sender is the grid square the pointer entered, alive while its post runs.
  const auto* entered = static_cast<const NovaControlButton*>(notification.sender);
  setText(entered != nullptr ? caption(entered->tag()) : QString());
}

void NovaControlButton::drawBackGray(QPainter& painter, qreal alpha) {
  painter.fillRect(rect(), QColor::fromRgbF(0.5f, 0.5f, 0.5f, static_cast<float>(alpha)));
}

void NovaControlButton::drawButton(QPainter& painter) {
  // A square that opens nothing does not answer the pointer.
  if (isEntered_ && !caption(tag()).isEmpty()) {
    if (image().isNull()) {
      return;
    }
    drawBackGray(painter, 0.7);
    if (isDown_) {
      drawDown(painter);
    } else {
      drawColor(painter, color1());
    }
  } else if (!text_.isEmpty()) {
    drawBackGray(painter, 0.7);
    painter.setFont(systemFont(18));
    painter.setPen(Qt::white);
    painter.drawText(geometry::fromBottomUp(0, 30, width(), 22, height()), Qt::AlignCenter, text_);
  } else {
    drawBackGray(painter, 0.5);
    drawColor(painter, color0());
  }
}

// ---- SegControl ----

SegControl::SegControl(QWidget* parent, bool on) : QWidget(parent), isOn_(on) {}

void SegControl::addTarget(Action action) {
  action_ = std::move(action);
  setEnabled(true);
}

void SegControl::setState(bool on) {
  isOn_ = on;
  update();
}

void SegControl::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    return;
  }
  isOn_ = !isOn_;
  if (action_) {
    action_(this);
  }
  update();
}

void SegControl::mouseReleaseEvent(QMouseEvent*) {}

void SegControl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const qreal w = width();
  const qreal h = height();
  painter.fillRect(rect(), QColor::fromRgbF(1, 1, 1, 0.5f));
  painter.setFont(systemFont(10));
  painter.setPen(Qt::white);
  if (isOn_) {
    painter.fillRect(geometry::fromBottomUp(w / 2, 0, w, h, h), kOrange);
    painter.drawText(geometry::fromBottomUp(w / 2, -3, w / 2, h, h), Qt::AlignCenter, QStringLiteral("ON"));
  } else {
    painter.fillRect(geometry::fromBottomUp(1, 1, w / 2 - 2, h - 2, h), QColor::fromRgbF(0, 0, 0, 0.5f));
    painter.drawText(geometry::fromBottomUp(0, -3, w / 2, h, h), Qt::AlignCenter, QStringLiteral("OFF"));
  }
}

}  // namespace tonvera
