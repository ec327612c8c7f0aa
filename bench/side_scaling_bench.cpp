// Time per round against the grid's side: whole runs of each program with
// its default settings but the side, in one process, the kernel this
// processor would choose.
//
//   build-bench/bin/side_scaling_bench
//   build-bench/bin/side_scaling_bench --benchmark_filter=kestane
//
//   Side/<program>/<side>   per_round: the seconds of a run (build, tables
//                           and every round) over the rounds it made;
//                           rounds: the rounds a run made, at most kRounds
//
// A run may stop before kRounds (two quiet rounds, unanimity). The first
// run of a large halvorn grid also pays for touching its planes (the next
// runs of the thread reuse them): take the median of repetitions,
// --benchmark_repetitions=3 --benchmark_report_aggregates_only=true. Halvorn's
// simultaneous rounds work out again only the targets the last round's
// changes reach, so its later rounds cost less than its first; kestane's
// sequential runs work turn by turn off the 20 x 20 torus.

#include <benchmark/benchmark.h>

#include <cstdint>

#include "model/seeded_run.h"
#include "programs/programs.h"

namespace impactsim {
namespace {

constexpr std::int32_t kRounds = 10;
constexpr std::uint32_t kSeed = 36'000'000;

void Side(benchmark::State& state, const ProgramProfile* program) {
  RunSettings settings = program->Defaults;
  settings.Side = static_cast<int>(state.range(0));
  settings.Rounds = kRounds;
  RunObserver quiet;
  std::int64_t rounds = 0;
  for (auto _ : state) {
    const SeededRun run = RunSeeded(*program, kSeed, settings, quiet);
    rounds += run.Result.RoundsRun;
    benchmark::DoNotOptimize(run.Population.Data());
  }
  state.counters["rounds"] = static_cast<double>(rounds) / static_cast<double>(state.iterations());
  state.counters["per_round"] = benchmark::Counter(
      static_cast<double>(rounds), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK_CAPTURE(Side, halvorn, &HalvornProgram())
    ->ArgName("side")
    ->Arg(40)
    ->Arg(100)
    ->Arg(200)
    ->Arg(400)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Side, kestane, &KestaneProgram())
    ->ArgName("side")
    ->Arg(20)
    ->Arg(40)
    ->Arg(80)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace impactsim

BENCHMARK_MAIN();
