// XButton: the taste pages' small 20 x 20 icon button. Index 0 shows the remove icon, index 1 the
// add icon, both cells of the "ICON20.png" sheet (12 x 3 cells) used as a mask filled with white at
// alpha 0.9, or opaque grey 106/255 while the pointer is over it. A click released inside runs the
// target. The button reports the pointer entering and leaving it to the views above it.
//
// Threads: main thread only.
#pragma once

#include <QWidget>
#include <functional>

namespace tonvera {

class XButton : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kSize = 20;
  // A new 20 x 20 button showing the remove icon.
  static XButton* button(QWidget* parent);
  explicit XButton(QWidget* parent = nullptr);

  bool isOver() const { return isOver_; }
  void setIsOver(bool isOver);
  int index() const { return index_; }
  void setIndex(int index);
  void addTarget(std::function<void()> action) { action_ = std::move(action); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  bool isOver_ = false;
  int index_ = 0;
  bool pressed_ = false;
  std::function<void()> action_;
};

}  // namespace tonvera
