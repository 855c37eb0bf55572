// Shared main of the test executables: an application object owns the main thread's event loop; the
// window's tests (gui_test_main.cpp) get a widget application, offscreen.
#include <gtest/gtest.h>

#ifdef TONVERA_GUI_TEST_MAIN
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
#ifdef TONVERA_GUI_TEST_MAIN
  // Offscreen also when CTest lists the cases (no display is needed or wanted).
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
  // Players in tests write to the silent sink at full speed unless a test asks for another.
  if (qEnvironmentVariableIsEmpty("TONVERA_AUDIO_SINK")) qputenv("TONVERA_AUDIO_SINK", "null");
  TestApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
