// TabView: the favourites page's side menu, a panel 145 x 256 with two headings ("艺人", "音乐") and
// five items; the highlighted item sits on a gradient with a white notch at the panel's right edge.
// A click picks the item under it (hit test in the window's coordinates, so the menu belongs at
// its page's origin); a new choice is stored, redrawn and told to the delegate.
//
// Threads: main thread only.
#pragma once

#include <QColor>
#include <QGradientStops>
#include <QWidget>

namespace tonvera {

class TabViewDelegate {
 public:
  virtual ~TabViewDelegate() = default;
  // Sent after the highlight moved to `index` (0-4).
  virtual void tabViewSelectIndex(int index) = 0;
};

class TabView : public QWidget {
  Q_OBJECT
 public:
  // The highlight's colours: a menu placed by a page layout uses the blue three-stop gradient, a
  // menu created on its own the orange one.
  enum class Gradient { Code, Layout };

  static constexpr int kWidth = 145;
  static constexpr int kHeight = 256;
  static constexpr int kItemCount = 5;

  explicit TabView(QWidget* parent = nullptr, Gradient gradient = Gradient::Code);

  int selectIndex() const { return selectIndex_; }
  void setSelectIndex(int index);
  TabViewDelegate* delegate() const { return delegate_; }
  void setDelegate(TabViewDelegate* delegate) { delegate_ = delegate; }  // not owned
  const QGradientStops& gradientStops() const { return stops_; }

  // The item whose hit rectangle holds `windowPoint` (window coordinates, y from the bottom),
  // items 4 to 0 tested in that order; -1 for none.
  int itemAt(const QPointF& windowPoint) const;

  // Items' texts and bottom edges (points from the panel's bottom).
  static QString itemText(int index);
  static int itemY(int index);

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void drawHighlight(QPainter& painter, const QRectF& bottomUp);

  int selectIndex_ = 0;
  QGradientStops stops_;
  TabViewDelegate* delegate_ = nullptr;
};

}  // namespace tonvera
