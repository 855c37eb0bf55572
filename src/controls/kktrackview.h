// KKTrackView: a view that follows the pointer (enter, move, leave) even while a button is held,
// and MainView, the base class of every page view: it forwards the pointer to the now-playing
// controller on the now-playing page, and on every other page a pointer leaving the page returns
// to the now-playing page.
//
// Threads: main thread only.
#pragma once

#include <QPointF>
#include <QWidget>

namespace tonvera {

class KKTrackView : public QWidget {
  Q_OBJECT
 public:
  explicit KKTrackView(QWidget* parent = nullptr);

 protected:
  // Each only asks for a redraw; subclasses add their behaviour.
  virtual void trackEntered(const QPointF& windowPos);
  virtual void trackMoved(const QPointF& windowPos);
  virtual void trackExited();

  void enterEvent(QEnterEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  // Moves over children that keep them (buttons, sliders) reach the view here.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // One move reaches the view once, however many widgets it passed through.
  void noteMove(const QMouseEvent& event);
  quint64 lastMoveTime_ = 0;
  QPointF lastMovePos_;
};

// What the now-playing page's view tells its controller. Positions are in the window's top-down
// coordinates (geometry::toBottomUp converts them for the layouts' hit rules).
class PointerObserver {
 public:
  virtual ~PointerObserver() = default;
  virtual void mouseMoved(const QPointF& windowPos) = 0;
  virtual void mouseExited() = 0;
};

class MainView : public KKTrackView {
  Q_OBJECT
 public:
  explicit MainView(QWidget* parent = nullptr);

  // The now-playing controller; set only on the now-playing page's own view. Not owned.
  void setObj(PointerObserver* obj) { obj_ = obj; }
  PointerObserver* obj() const { return obj_; }

 protected:
  void trackEntered(const QPointF& windowPos) override;  // sends mouseMoved, as a move does
  void trackMoved(const QPointF& windowPos) override;
  void trackExited() override;  // obj: mouseExited; otherwise back to the now-playing page

 private:
  PointerObserver* obj_ = nullptr;
};

}  // namespace tonvera
