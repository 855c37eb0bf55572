#include "taste/ui/tastetableview.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "controls/fonts.h"

namespace tonvera {

void reportHover(QWidget* view, bool entered, const QPointF& globalPos) {
  for (QWidget* above = view ? view->parentWidget() : nullptr; above; above = above->parentWidget()) {
    if (auto* receiver = dynamic_cast<HoverReceiver*>(above)) {
      if (entered) {
        receiver->mouseEntered(view, globalPos);
      } else {
        receiver->mouseExited(view, globalPos);
      }
    }
  }
}

TableCell::TableCell(const QString& reuseIdentifier, QWidget* parent)
    : QWidget(parent), reuseIdentifier_(reuseIdentifier) {}

TasteTableView* TableCell::tableView() const {
  for (QWidget* p = parentWidget(); p; p = p->parentWidget()) {
    if (auto* table = qobject_cast<TasteTableView*>(p)) return table;
  }
  return nullptr;
}

bool TableCell::isSelected() const {
  TasteTableView* table = tableView();
  return table && tag_ >= 0 && table->selectedRow() == tag_;
}

void TableCell::mousePressEvent(QMouseEvent* event) {
  if (TasteTableView* table = tableView(); table && event->button() == Qt::LeftButton) table->selectRow(tag_);
  QWidget::mousePressEvent(event);
}

TasteTableView::TasteTableView(QWidget* parent) : QAbstractScrollArea(parent) {
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // No bar: the list scrolls with the wheel, as a touch-pad list does.
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  verticalScrollBar()->setSingleStep(20);
  viewport()->setAutoFillBackground(false);
}

void TasteTableView::reloadData() {
  rowTops_.clear();
  contentHeight_ = 0;
  const int rows = dataSource_ ? std::max(0, dataSource_->numberOfRows(*this)) : 0;
  rowTops_.reserve(static_cast<size_t>(rows));
  for (int r = 0; r < rows; ++r) {
    rowTops_.push_back(contentHeight_);
    contentHeight_ += std::max(0, dataSource_->heightForRow(*this, r));
  }
  if (selectedRow_ >= rows) selectedRow_ = -1;
  // The offset is kept; the scroll bar only clamps it to the new content.
  const int offset = contentOffset();
  QScrollBar* bar = verticalScrollBar();
  const QSignalBlocker block(bar);
  bar->setPageStep(viewport()->height());
  bar->setRange(0, std::max(0, contentHeight_ - viewport()->height()));
  bar->setValue(offset);
  layoutRows();
  viewport()->update();  // the empty list's line comes or goes
}

std::vector<TableCell*> TasteTableView::visibleCells() const {
  std::vector<TableCell*> cells;
  for (const auto& cell : onScreen_) {
    if (cell) cells.push_back(cell.data());
  }
  return cells;
}

int TasteTableView::contentOffset() const { return verticalScrollBar()->value(); }

void TasteTableView::setContentOffset(int y) { verticalScrollBar()->setValue(y); }

void TasteTableView::selectRow(int row) {
  if (row == selectedRow_) return;
  selectedRow_ = row;
  for (TableCell* cell : visibleCells()) cell->update();
}

void TasteTableView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  reloadData();
}

void TasteTableView::scrollContentsBy(int, int) {
  layoutRows();
  if (dataSource_) dataSource_->scrollViewDidScroll(*this);
}

void TasteTableView::setEmptyText(const QString& text) {
  if (text == emptyText_) return;
  emptyText_ = text;
  viewport()->update();
}

void TasteTableView::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  painter.fillRect(viewport()->rect(), Qt::white);
  if (rowCount() == 0 && !emptyText_.isEmpty()) {
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(QColor(120, 120, 128));
    painter.setFont(systemFont(14));
    painter.drawText(viewport()->rect(), Qt::AlignCenter | Qt::TextSingleLine, emptyText_);
  }
}

void TasteTableView::showEvent(QShowEvent* event) {
  QAbstractScrollArea::showEvent(event);
  if (layoutPending_) layoutRows();
}

void TasteTableView::layoutRows() {
  // Rows are laid out on screen only: a hidden list is resized with its updates off, and a row made
  // then would never draw. The list lays out its rows when it shows.
  if (!isVisible()) {
    layoutPending_ = true;
    return;
  }
  layoutPending_ = false;
  for (auto& cell : onScreen_) {
    if (cell) pool_.push_back(cell);
  }
  onScreen_.clear();
  std::erase_if(pool_, [](const QPointer<TableCell>& c) { return c.isNull(); });
  const int offset = contentOffset();
  const int bottom = offset + viewport()->height();
  const int width = viewport()->width();
  for (int r = 0; dataSource_ && r < rowCount(); ++r) {
    const int top = rowTops_[static_cast<size_t>(r)];
    const int next = r + 1 < rowCount() ? rowTops_[static_cast<size_t>(r) + 1] : contentHeight_;
    if (next <= offset) continue;
    if (top >= bottom) break;
    TableCell* cell = dataSource_->cellForRow(*this, r);
    if (!cell) continue;
    std::erase_if(pool_, [cell](const QPointer<TableCell>& c) { return c.data() == cell; });
    if (cell->parentWidget() != viewport()) cell->setParent(viewport());
    cell->setTag(r);
    cell->setGeometry(0, top - offset, width, next - top);
    cell->show();
    cell->update();
    onScreen_.emplace_back(cell);
  }
  for (auto& cell : pool_) cell->hide();
}

}  // namespace tonvera
