// TNEventTUIView: the root view of a taste list. It hands every pointer report of the views below it
// (rows, buttons) to its delegate, which passes them on to its rows.
//
// Threads: main thread only.
#pragma once

#include <QWidget>

#include "taste/ui/tastetableview.h"

namespace tonvera {

class TNEventTUIView : public QWidget, public HoverReceiver {
  Q_OBJECT
 public:
  explicit TNEventTUIView(QWidget* parent = nullptr);
  void setDelegate(HoverReceiver* delegate) { delegate_ = delegate; }  // the page that owns this view

  void mouseEntered(QWidget* subview, const QPointF& globalPos) override;
  void mouseExited(QWidget* subview, const QPointF& globalPos) override;

 private:
  HoverReceiver* delegate_ = nullptr;
};

}  // namespace tonvera
