// KKSlideView: the now-playing page's progress bar, a thin track with the played part, that the
// listener clicks or drags to seek. Every pointer event ends by sending the action: press and drag
// set the position from the pointer, the release sends the one action with isSeek() true (the
// owner seeks then), entering and leaving change isEntered() (the owner colours the readout).
//
// progress() is a percent of the track. The position taken from the pointer is not clamped, so a
// drag past an end reports values below 0 or above 100; the owner clamps before it seeks. While the
// button is held, setProgress from playback is ignored so the drag wins.
//
// Threads: main thread only.
#pragma once

#include <QWidget>
#include <functional>

namespace tonvera {

class KKSlideView : public QWidget {
  Q_OBJECT
 public:
  using Action = std::function<void(KKSlideView* sender)>;

  explicit KKSlideView(QWidget* parent = nullptr);

  void addTarget(Action action);

  // Ignored while the button is held; otherwise stores the percent (redrawn when the played part's
  // length changes on screen).
  void setProgress(double percent);
  double getProgress() const { return progress_; }

  bool isDown() const { return isDown_; }
  bool isEntered() const { return isEntered_; }
  bool isSeek() const { return isSeek_; }

  // Sets the position from a pointer position in the bar's own coordinates and redraws.
  void upDateWithPoint(const QPointF& local);

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void sendAction();
  // The played part's width in device pixels, as last drawn.
  int playedPixels(double percent) const;

  double progress_ = 0;
  bool isDown_ = false;
  bool isEntered_ = false;
  bool isSeek_ = false;
  Action action_;
};

}  // namespace tonvera
