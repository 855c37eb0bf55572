// Shared main of the test executables: a core application object owns the main thread's event loop,
// so runOnMain() and runMainLoopUntil() work in every test.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // Players in tests write to the silent sink at full speed unless a test asks for another.
  if (qEnvironmentVariableIsEmpty("TONVERA_AUDIO_SINK")) {
    qputenv("TONVERA_AUDIO_SINK", "null");
  }
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
