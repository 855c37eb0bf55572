#include "display/ui/linelrcview.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>

#include "controls/fonts.h"
#include "controls/geometry.h"

namespace tonvera {
namespace {

const QColor kLineColor = QColor::fromRgbF(0, 0, 0, 0.9f);
constexpr qreal kRightInset = 15;
constexpr qreal kSingleRowDrop = 20;
// "无歌词" is white; a soft dark chip under it keeps it readable on the page's light panel.
const QColor kNoticeChip = QColor::fromRgbF(0.10f, 0.08f, 0.24f, 0.72f);

QString qstr(const std::u16string& s) {
  return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

bool sameChoice(const LineLrcModel::Choice& a, const LineLrcModel::Choice& b) {
  return a.display == b.display && a.line == b.line;
}

}  // namespace

LineLrcView::LineLrcView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

QFont LineLrcView::lineFont() { return systemFont(16); }
QFont LineLrcView::noticeFont() { return systemFont(22); }

void LineLrcView::setScrollView(QPlainTextEdit* scrollView) {
  scrollView_ = scrollView;
  if (scrollView_) scrollView_->hide();
}

void LineLrcView::setLrc(const std::optional<std::string>& text) {
  model_.setLrcUtf8(text ? std::optional<std::string_view>(*text) : std::nullopt);
  dirty_ = true;
}

void LineLrcView::processLrc() {
  model_.processLrc();
  dirty_ = true;
  if (!scrollView_) return;
  if (const auto untimed = model_.untimedText()) {
    scrollView_->setPlainText(QString::fromUtf16(untimed->data(), static_cast<qsizetype>(untimed->size())));
    scrollView_->show();
  } else {
    scrollView_->hide();
    scrollView_->clear();
  }
}

void LineLrcView::display() {
  const LineLrcModel::Choice choice = model_.chooseLine();
  if (!dirty_ && drawn_ && sameChoice(*drawn_, choice)) return;
  update();
}

QString LineLrcView::currentLine() {
  const LineLrcModel::Choice choice = model_.chooseLine();
  return choice.display == LineLrcModel::Display::Line ? qstr(choice.line) : QString();
}

void LineLrcView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  const qreal w = width();
  const qreal h = height();

  const QFont font = lineFont();
  const QFontMetricsF metrics(font);
  const qreal available = w - kRightInset;
  // The line as chosen, not as laid out: a line split in two loses the space it was split at, and
  // would never compare equal to the next choice (a repaint every tick).
  drawn_ = model_.chooseLine();
  dirty_ = false;
  const LineLrcModel::Rows rows = model_.layoutLine(
      [&](const std::u16string& s) { return metrics.horizontalAdvance(qstr(s)); }, available);

  switch (rows.display) {
    case LineLrcModel::Display::NoLyrics: {
      const QFont notice = noticeFont();
      const QFontMetricsF nm(notice);
      const QString text = tr("无歌词");  // LineLrcModel::kNoLyricsText in the listener's language
      // Drawn with its bottom-left corner at (w/2 - 100, h/2), y from the bottom.
      const QRectF box =
          geometry::fromBottomUp(w / 2 - 100, h / 2, nm.horizontalAdvance(text), nm.height(), h);
      QPainterPath chip;
      chip.addRoundedRect(box.adjusted(-8, -2, 8, 2), 8, 8);
      painter.fillPath(chip, kNoticeChip);
      painter.setFont(notice);
      painter.setPen(Qt::white);
      painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, text);
      return;
    }
    case LineLrcModel::Display::Untimed:
      return;
    case LineLrcModel::Display::Line:
      break;
  }
  painter.setFont(font);
  painter.setPen(kLineColor);
  const qreal lineHeight = metrics.height();
  auto drawRow = [&](const std::u16string& text, qreal top) {
    const QRectF rect(0, top, available, lineHeight);
    painter.drawText(rect, Qt::AlignRight | Qt::AlignTop,
                     metrics.elidedText(qstr(text), Qt::ElideRight, available));
  };
  if (!rows.second) {
    drawRow(rows.first, kSingleRowDrop);
  } else {
    drawRow(rows.first, 0);
    drawRow(*rows.second, lineHeight);
  }
}

}  // namespace tonvera
