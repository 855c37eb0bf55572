// Shared main of the benchmarks that drive the player or the radio: a core application object owns
// the main thread's event loop, so runOnMain() and runMainLoopUntil() work while they measure.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
