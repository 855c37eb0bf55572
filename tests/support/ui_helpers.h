// Helpers of the window's tests: the pointer as a listener's, and a navigator that records requests.
#pragma once

#include <QEnterEvent>
#include <QMouseEvent>
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

// A left-button press, release or move (holding `held`) at `at`, sent straight to `w`.
inline void mouse(QWidget* w, QEvent::Type type, QPointF at, Qt::MouseButtons held) {
  QMouseEvent e(type, at, w->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                Qt::NoModifier);
  QCoreApplication::sendEvent(w, &e);
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
