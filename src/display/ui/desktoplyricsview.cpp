#include "display/ui/desktoplyricsview.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QSizeGrip>
#include <QToolButton>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "controls/fonts.h"
#include "controls/geometry.h"
#include "display/lyricsmodel.h"

namespace tonvera {
namespace {

constexpr int kFrameMs = (1000 + DesktopLyricsView::kFramesPerSecond - 1) / DesktopLyricsView::kFramesPerSecond;
// The fill moves in steps of at least this many device pixels (fewer frames for slow lines), and
// a frame comes at least this often while it moves (milliseconds).
constexpr qreal kFillStep = 4;
constexpr int kSlowestFrameMs = 250;
constexpr qreal kMargin = 18;      // left and right of the rows
constexpr qreal kTopStrip = 30;    // above the rows: room for the buttons on hover
constexpr qreal kRowGap = 4;
constexpr qreal kNextScale = 0.6;  // the next line's size against the line being sung
const QColor kPlain(255, 255, 255);
const QColor kOutline(0, 0, 0, 210);
const QColor kShadow(0, 0, 0, 90);
const QColor kHoverGround(12, 10, 30, 120);

QString qstr(const std::u16string& s) { return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size())); }

QFont rowFont(qreal pixels) {
  QFont font = systemFont(static_cast<int>(std::lround(pixels)), true);
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
  return font;
}

// The font of a row no wider than `available`: smaller down to half its size, then elided.
struct FittedRow {
  QFont font;
  QString text;
  qreal width = 0;
};

FittedRow fitRow(const QString& text, qreal pixels, qreal available) {
  FittedRow row{rowFont(pixels), text, 0};
  qreal width = QFontMetricsF(row.font).horizontalAdvance(text);
  if (width > available && width > 0) {
    row.font = rowFont(std::max(pixels / 2, pixels * available / width));
    const QFontMetricsF metrics(row.font);
    row.text = metrics.elidedText(text, Qt::ElideRight, available);
    width = metrics.horizontalAdvance(row.text);
  }
  row.width = width;
  return row;
}

// Text with a dark outline and a soft shadow, readable over light and dark alike. The outline is the
// text drawn around itself in eight directions: glyphs come from the font's cache, where stroking
// the text's outline path took tens of milliseconds a line.
void drawOutlined(QPainter& painter, const QFont& font, const QString& text, QPointF baseline, const QColor& fill,
                  qreal outline) {
  painter.setFont(font);
  painter.setPen(kShadow);
  painter.drawText(baseline + QPointF(1.5, 2), text);
  QColor stroke = kOutline;
  stroke.setAlphaF(stroke.alphaF() * fill.alphaF());
  painter.setPen(stroke);
  constexpr qreal kDiagonal = 0.7071;
  const QPointF around[] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {kDiagonal, kDiagonal}, {-kDiagonal, kDiagonal},
                            {kDiagonal, -kDiagonal}, {-kDiagonal, -kDiagonal}};
  for (const QPointF& d : around) painter.drawText(baseline + d * outline, text);
  painter.setPen(fill);
  painter.drawText(baseline, text);
}

QToolButton* makeButton(QWidget* parent, const QString& text, const QString& tip) {
  auto* button = new QToolButton(parent);
  button->setText(text);
  button->setToolTip(tip);
  button->setCursor(Qt::ArrowCursor);
  button->setFocusPolicy(Qt::NoFocus);
  button->setStyleSheet(QStringLiteral(
      "QToolButton { color: white; background: rgba(255, 255, 255, 46); border: none; border-radius: 4px;"
      " padding: 2px 8px; font-size: 13px; }"
      "QToolButton:hover { background: rgba(255, 255, 255, 96); }"));
  button->hide();
  return button;
}

}  // namespace

DesktopLyricsView::DesktopLyricsView(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus) {
  setAttribute(Qt::WA_TranslucentBackground);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setMouseTracking(true);
  setWindowTitle(tr("桌面歌词"));
  setMinimumSize(320, 90);
  resize(kDefaultSize);
  frames_.setInterval(kFrameMs);
  connect(&frames_, &QTimer::timeout, this, [this] { tick(); });

  smaller_ = makeButton(this, QStringLiteral("A−"), tr("缩小字体"));
  larger_ = makeButton(this, QStringLiteral("A+"), tr("放大字体"));
  lock_ = makeButton(this, tr("锁定"), tr("锁定后鼠标穿透歌词；从托盘或主窗口的右键菜单解锁"));
  close_ = makeButton(this, tr("隐藏"), tr("隐藏桌面歌词"));
  connect(smaller_, &QToolButton::clicked, this, [this] { setFontSize(fontSize_ - kFontStep); });
  connect(larger_, &QToolButton::clicked, this, [this] { setFontSize(fontSize_ + kFontStep); });
  connect(lock_, &QToolButton::clicked, this, [this] { setLocked(true); });
  connect(close_, &QToolButton::clicked, this, [this] { Q_EMIT hideRequested(); });
  grip_ = new QSizeGrip(this);
  grip_->hide();
}

void DesktopLyricsView::setSource(Source source) {
  source_ = std::move(source);
  refresh();
}

void DesktopLyricsView::setSong(const QString& title, const QString& artist) {
  title_ = title;
  artist_ = artist;
  refresh();
}

void DesktopLyricsView::setLyricsReady(bool ready) {
  lyricsReady_ = ready;
  refresh();
}

void DesktopLyricsView::setPlaying(bool playing) {
  playing_ = playing;
  refresh();
}

// The page's tick (ten times a second while the window shows) moves the line; the fill is this
// view's own frames' while they run.
void DesktopLyricsView::lyricsChanged() { refresh(!frames_.isActive()); }

void DesktopLyricsView::setLocked(bool locked) {
  if (locked == locked_) return;
  locked_ = locked;
  setHovered(false);
  // Input transparency is a window flag: changing it re-creates the window, which is put back where
  // it was.
  const bool shown = isVisible();
  const QRect place = geometry();
  setAttribute(Qt::WA_TransparentForMouseEvents, locked);
  setWindowFlag(Qt::WindowTransparentForInput, locked);
  if (shown) {
    setGeometry(place);
    show();
  }
  Q_EMIT lockedChanged(locked);
}

void DesktopLyricsView::setFontSize(int pixels) {
  pixels = std::clamp(pixels, kMinFontSize, kMaxFontSize);
  if (pixels == fontSize_) return;
  fontSize_ = pixels;
  invalidate();
  Q_EMIT fontSizeChanged(pixels);
}

void DesktopLyricsView::setColor(const QColor& color) {
  QColor opaque = color.isValid() ? color : QColor(255, 214, 0);
  opaque.setAlpha(255);
  if (opaque == color_) return;
  color_ = opaque;
  invalidate();
}

QString DesktopLyricsView::firstRow() const { return first_; }
QString DesktopLyricsView::secondRow() const { return second_; }

void DesktopLyricsView::refresh(bool moveFill, Paint painting) {
  Kind kind = Kind::Empty;
  QString first, second;
  double fill = 0;
  if (!title_.isNull()) {
    kind = Kind::Title;
    first = title_;
    second = artist_;
    if (lyricsReady_ && source_.model != nullptr) {
      const double at = source_.position ? source_.position() : 0.0;
      const double end = source_.duration ? source_.duration() : 0.0;
      if (const auto span = source_.model->span(at, end)) {
        kind = Kind::Line;
        first = qstr(span->line);
        second = qstr(span->next);
        fill = span->fill;
        lineLength_ = span->length;
      }
    }
  }
  if (kind != kind_ || first != first_ || second != second_) {
    kind_ = kind;
    first_ = first;
    second_ = second;
    fill_ = fill;
    invalidate();
  } else if (moveFill && fill != fill_) {
    const int before = fillX(fill_);
    fill_ = fill;
    const int after = fillX(fill_);
    if (after != before && rowsValid_) {
      // Only the band the fill moved over.
      const QRect band = geometry::movedStrip(before, after, devicePixelRatioF(), firstRowTop_,
                                              firstRowBottom_ - firstRowTop_);
      // A frame paints at once, in the same wake-up as its timer.
      if (painting == Paint::Now) {
        repaint(band);
      } else {
        update(band);
      }
    }
  }
  followTimer();
}

void DesktopLyricsView::tick() { refresh(true, Paint::Now); }

void DesktopLyricsView::followTimer() {
  const bool moving = isVisible() && playing_ && kind_ == Kind::Line && fill_ < 1.0 && source_.position;
  if (!moving) {
    frames_.stop();
    return;
  }
  // As often as the fill moves a step, within the frame rate's bounds.
  const qreal pixels = firstTextWidth_ * devicePixelRatioF();
  int interval = kFrameMs;
  if (pixels > 0 && lineLength_ > 0) {
    interval = static_cast<int>(std::clamp(std::ceil(1000.0 * lineLength_ * kFillStep / pixels),
                                           double(kFrameMs), double(kSlowestFrameMs)));
  }
  if (interval != frames_.interval()) frames_.setInterval(interval);
  if (!frames_.isActive()) frames_.start();
}

void DesktopLyricsView::invalidate() {
  rowsValid_ = false;
  update();
}

QRectF DesktopLyricsView::firstRowRect() const {
  const qreal h1 = QFontMetricsF(rowFont(fontSize_)).height();
  const qreal h2 = QFontMetricsF(rowFont(fontSize_ * kNextScale)).height();
  const qreal free = height() - kTopStrip - h1 - kRowGap - h2;
  const qreal top = kTopStrip + std::max(0.0, free / 2);
  return QRectF(0, top, width(), h1);
}

int DesktopLyricsView::fillX(double fill) const {
  return static_cast<int>(std::lround((firstTextLeft_ + fill * firstTextWidth_) * devicePixelRatioF()));
}

void DesktopLyricsView::renderRows() {
  const qreal dpr = devicePixelRatioF();
  const QSize pixels(static_cast<int>(std::ceil(width() * dpr)), static_cast<int>(std::ceil(height() * dpr)));
  plain_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
  plain_.setDevicePixelRatio(dpr);
  plain_.fill(Qt::transparent);
  filled_ = plain_;
  rowsValid_ = true;
  firstTextLeft_ = firstTextWidth_ = 0;
  if (kind_ == Kind::Empty) return;

  const qreal available = width() - 2 * kMargin;
  const QRectF row1 = firstRowRect();
  firstRowTop_ = static_cast<int>(std::floor(row1.top()));
  firstRowBottom_ = static_cast<int>(std::ceil(row1.bottom()));
  const FittedRow first = fitRow(first_, fontSize_, available);
  const FittedRow second = fitRow(second_, fontSize_ * kNextScale, available);
  const QFontMetricsF m1(first.font);
  const QFontMetricsF m2(second.font);
  firstTextLeft_ = (width() - first.width) / 2;
  firstTextWidth_ = first.width;
  const QPointF base1(firstTextLeft_, row1.top() + (row1.height() + m1.ascent() - m1.descent()) / 2);
  const QPointF base2((width() - second.width) / 2, row1.bottom() + kRowGap + m2.ascent());
  const qreal outline = std::max(2.0, fontSize_ / 10.0);

  QPainter plain(&plain_);
  plain.setRenderHint(QPainter::Antialiasing);
  drawOutlined(plain, first.font, first.text, base1, kPlain, outline);
  QColor dim = kPlain;
  dim.setAlphaF(0.62f);
  drawOutlined(plain, second.font, second.text, base2, dim, outline * kNextScale);
  if (kind_ == Kind::Line) {
    QPainter filled(&filled_);
    filled.setRenderHint(QPainter::Antialiasing);
    drawOutlined(filled, first.font, first.text, base1, color_, outline);
  }
}

void DesktopLyricsView::paintEvent(QPaintEvent*) {
  if (!rowsValid_ || std::abs(plain_.devicePixelRatio() - devicePixelRatioF()) > 1e-6) renderRows();
  // The painter is clipped to the event's region already.
  QPainter painter(this);
  if (hovered_) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kHoverGround);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
  }
  painter.drawImage(QPointF(0, 0), plain_);
  if (kind_ == Kind::Line && fill_ > 0) {
    const int x = fillX(fill_);
    drawnFillX_ = x;
    const qreal dpr = devicePixelRatioF();
    painter.setClipRect(QRectF(0, 0, x / dpr, height()), Qt::IntersectClip);
    // The filled row covers the plain one where the fill has come.
    painter.drawImage(QPointF(0, 0), filled_);
  }
}

void DesktopLyricsView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const QList<QToolButton*> buttons{smaller_, larger_, lock_, close_};
  int total = 0;
  for (QToolButton* b : buttons) total += b->sizeHint().width() + 6;
  int x = (width() - total) / 2;
  for (QToolButton* b : buttons) {
    const QSize hint = b->sizeHint();
    b->setGeometry(x, 4, hint.width(), hint.height());
    x += hint.width() + 6;
  }
  grip_->setGeometry(width() - 16, height() - 16, 16, 16);
  invalidate();
}

void DesktopLyricsView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  refresh();
}

void DesktopLyricsView::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  setHovered(false);
  followTimer();
}

void DesktopLyricsView::enterEvent(QEnterEvent* event) {
  QWidget::enterEvent(event);
  if (!locked_) setHovered(true);
}

void DesktopLyricsView::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  setHovered(false);
}

void DesktopLyricsView::setHovered(bool hovered) {
  if (hovered == hovered_) return;
  hovered_ = hovered;
  for (QWidget* w : {static_cast<QWidget*>(smaller_), static_cast<QWidget*>(larger_),
                     static_cast<QWidget*>(lock_), static_cast<QWidget*>(close_), static_cast<QWidget*>(grip_)}) {
    w->setVisible(hovered);
  }
  update();
}

void DesktopLyricsView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || locked_) return QWidget::mousePressEvent(event);
  // The window manager moves it where it can (Wayland allows nothing else); otherwise by hand.
  if (windowHandle() != nullptr && windowHandle()->startSystemMove()) return;
  dragOffset_ = event->globalPosition().toPoint() - pos();
  event->accept();
}

void DesktopLyricsView::mouseMoveEvent(QMouseEvent* event) {
  if (dragOffset_ && (event->buttons() & Qt::LeftButton)) {
    move(event->globalPosition().toPoint() - *dragOffset_);
    event->accept();
    return;
  }
  QWidget::mouseMoveEvent(event);
}

void DesktopLyricsView::mouseReleaseEvent(QMouseEvent* event) {
  dragOffset_.reset();
  QWidget::mouseReleaseEvent(event);
}

}  // namespace tonvera
