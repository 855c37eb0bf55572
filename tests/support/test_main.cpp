// Shared main of the test executables: a core application object owns the main thread's event loop,
// so runOnMain() and runMainLoopUntil() work in every test.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
