// The main of the library's benchmarks: the start-up of a deliverable, so
// failures have somewhere to go, then Google Benchmark.

#include <benchmark/benchmark.h>

#include "julib/errors.h"
#include "julib/threads.h"

int main(int argc, char** argv) {
  static JuErrorList errors(0, 1);
  juStartProgram(&juLibraryModule, &errors);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
