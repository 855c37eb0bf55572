// Helpers of the window's tests: the pointer entering a widget and clicking it as a listener's
// pointer does, and a page navigator that records what the pages ask of it.
#pragma once

#include <QEnterEvent>
#include <QTest>
#include <vector>

#include "controls/navigator.h"

namespace tonvera::test {

// The pointer enters `w` at `at` (local points).
inline void enter(QWidget* w, QPointF at = QPointF(1, 1)) {
  QEnterEvent e(at, at, w->mapToGlobal(at));
  QCoreApplication::sendEvent(w, &e);
}

// In, down, up at `at`: the program's buttons act only on a press that came with the pointer.
inline void click(QWidget* w, QPoint at = QPoint(5, 5)) {
  enter(w, at);
  QTest::mouseClick(w, Qt::LeftButton, {}, at);
}

// The program's navigator while it lives.
struct RecordingNavigator : PageNavigator {
  RecordingNavigator() { setAppNavigator(this); }
  ~RecordingNavigator() override { setAppNavigator(nullptr); }
  void selectViewControllerIndex(int index) override { selected.push_back(index); }
  void showMain() override { ++showMains; }
  void showPreferencePanel() override { ++preferences; }
  void terminate() override { ++quits; }

  std::vector<int> selected;
  int showMains = 0, preferences = 0, quits = 0;
};

}  // namespace tonvera::test
