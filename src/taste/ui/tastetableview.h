// TasteTableView: the scrolling list of the taste pages. One section of rows stacked from the top;
// the data source answers the row count, each row's height and the row widget. Row widgets are
// reused: before every layout the rows on screen go back to a pool, and the data source takes them
// out again by class and identifier (reusableCell), so a list of any length keeps only the rows that
// fit on screen. The content offset is kept across reloads (clamped to the new content). A hidden
// list lays out its rows when it shows.
//
// Hover: rows and the views in them report the pointer entering and leaving them with reportHover();
// every HoverReceiver above the reporting view is told, nearest first.
//
// Threads: main thread only.
#pragma once

#include <QAbstractScrollArea>
#include <QPointF>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

namespace tonvera {

class TasteTableView;

// Told when the pointer enters or leaves `subview`, a view below the receiver. `globalPos` is the
// pointer's position on the screen.
class HoverReceiver {
 public:
  virtual ~HoverReceiver() = default;
  virtual void mouseEntered(QWidget* subview, const QPointF& globalPos) = 0;
  virtual void mouseExited(QWidget* subview, const QPointF& globalPos) = 0;
};

// Tells every HoverReceiver above `view` (nearest first) that the pointer entered or left it.
void reportHover(QWidget* view, bool entered, const QPointF& globalPos);

// A row: a widget with its reuse identifier, its row number (tag) and the selection.
class TableCell : public QWidget {
  Q_OBJECT
 public:
  explicit TableCell(const QString& reuseIdentifier, QWidget* parent = nullptr);
  const QString& reuseIdentifier() const { return reuseIdentifier_; }
  int tag() const { return tag_; }
  void setTag(int tag) { tag_ = tag; }
  bool isSelected() const;
  TasteTableView* tableView() const;

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QString reuseIdentifier_;
  int tag_ = -1;
};

class TableDataSource {
 public:
  virtual ~TableDataSource() = default;
  virtual int numberOfRows(TasteTableView& table) = 0;
  virtual int heightForRow(TasteTableView& table, int row) = 0;
  virtual TableCell* cellForRow(TasteTableView& table, int row) = 0;
  // After the list scrolled.
  virtual void scrollViewDidScroll(TasteTableView&) {}
};

class TasteTableView : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit TasteTableView(QWidget* parent = nullptr);

  void setDataSource(TableDataSource* dataSource) { dataSource_ = dataSource; }  // not owned
  // Asks the data source for the rows again and lays out the rows on screen.
  void reloadData();
  // The row count and the rows on screen since the last reload or scroll.
  int rowCount() const { return static_cast<int>(rowTops_.size()); }
  std::vector<TableCell*> visibleCells() const;
  int contentOffset() const;
  void setContentOffset(int y);
  int selectedRow() const { return selectedRow_; }
  void selectRow(int row);
  // A short line shown in the middle of the list while it has no rows ("" for none).
  void setEmptyText(const QString& text);
  const QString& emptyText() const { return emptyText_; }

  // A row of class T with that identifier taken from the pool, or a new one made by `make`.
  template <typename T>
  T* reusableCell(const QString& identifier, const std::function<T*(QWidget* parent)>& make) {
    for (auto it = pool_.begin(); it != pool_.end(); ++it) {
      if ((*it)->reuseIdentifier() != identifier) continue;
      if (auto* cell = qobject_cast<T*>(it->data())) {
        pool_.erase(it);
        return cell;
      }
    }
    return make(viewport());
  }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void layoutRows();

  TableDataSource* dataSource_ = nullptr;
  std::vector<int> rowTops_;  // top of each row in the content; size = row count
  int contentHeight_ = 0;
  int selectedRow_ = -1;
  std::vector<QPointer<TableCell>> onScreen_;
  std::vector<QPointer<TableCell>> pool_;
  QString emptyText_;
  bool layoutPending_ = false;  // rows to lay out once the list shows
};

}  // namespace tonvera
