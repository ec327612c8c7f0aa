// Throughput of "impactsim sweep": a 1000-seed sweep of default halvorn runs
// on one thread and on two, rows discarded; items_per_second counts runs.
//
//   build/bin/sweep_bench
//
// Each run is independent, so two threads on two free cores should come
// close to twice the runs per second of one.

#include <benchmark/benchmark.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "model/random_source.h"

namespace impactsim::cli {
namespace {

constexpr int kSeeds = 1000;

void Sweep(benchmark::State& state) {
  const std::vector<std::string> args = {"sweep",
                                         "--seeds",
                                         "0-" + std::to_string(kSeeds - 1),
                                         "--jobs",
                                         std::to_string(state.range(0)),
                                         "--quiet"};
  for (auto _ : state) {
    std::ostringstream out, err;
    FixedClock clock(0);
    if (RunCommandLine(args, out, err, clock) != 0) {
      state.SkipWithError(err.str().c_str());
      break;
    }
    benchmark::DoNotOptimize(out.str().size());
  }
  state.SetItemsProcessed(state.iterations() * kSeeds);
}
BENCHMARK(Sweep)->ArgName("jobs")->Arg(1)->Arg(2)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace impactsim::cli

BENCHMARK_MAIN();
