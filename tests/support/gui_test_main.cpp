// Main of the window's test executables: a widget application object (offscreen in the test run)
// owns the main thread's event loop, so views can be created, shown, painted and driven with QTest.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // Offscreen also when CTest lists the cases (no display is needed or wanted).
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  // Players in tests write to the silent sink at full speed unless a test asks for another.
  if (qEnvironmentVariableIsEmpty("TONVERA_AUDIO_SINK")) {
    qputenv("TONVERA_AUDIO_SINK", "null");
  }
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
