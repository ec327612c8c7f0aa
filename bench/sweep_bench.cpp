// Throughput of "impactsim sweep": a 1000-seed sweep of default halvorn runs
// on one thread and on two, rows discarded; items_per_second counts runs.
//
//   build/bin/sweep_bench
//
// Each run is independent, so two threads on two free cores should come
// close to twice the runs per second of one.
//
// What the measures cost, on one thread, the same 1000 runs each: the run and
// its end measures alone (all a row held before cycles, start measures and
// strengths were added), the row as the sweep writes it now, and the row with
// every round's series; and the whole sweep writing --out, with and without
// --series.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include <filesystem>

#include "cli/command_line.h"
#include "model/process_policy.h"
#include "model/random_source.h"
#include "model/seeded_run.h"
#include "programs/programs.h"
#include "sweep/sweep_rows.h"
#include "sweep/sweep_series.h"

namespace impactsim::cli {
namespace {

constexpr int kSeeds = 1000;

// What the runner's main() does before its runs; BENCHMARK_MAIN leaves no
// main of ours to call it from.
[[maybe_unused]] const bool kFreedMemoryKept = (KeepFreedMemoryBetweenRuns(), true);

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

enum Measured { kEndOnly, kRow, kRowAndSeries };

void Measures(benchmark::State& state) {
  const auto what = static_cast<Measured>(state.range(0));
  SweepTask task;
  task.Program = &HalvornProgram();
  task.Settings = HalvornProgram().Defaults;
  SeededRunner runner;
  for (auto _ : state) {
    std::size_t bytes = 0;
    for (std::uint32_t seed = 0; seed < kSeeds; ++seed) {
      task.Seed = seed;
      task.Number = seed;
      if (what == kEndOnly) {
        RunObserver quiet;
        const SeededRun run = runner.Run(*task.Program, seed, task.Settings, quiet);
        bytes += static_cast<std::size_t>(MeasureEnd(run.Population, run.Result).Clusters);
        continue;
      }
      const RunOutcome outcome = RunTask(task, what == kRowAndSeries);
      bytes += FormatRow(RowFormat::Csv, task, &outcome).size();
      if (what == kRowAndSeries) bytes += FormatSeries(RowFormat::Csv, seed, outcome.Rounds).size();
    }
    benchmark::DoNotOptimize(bytes);
  }
  state.SetItemsProcessed(state.iterations() * kSeeds);
}
BENCHMARK(Measures)
    ->ArgName("end_only/row/row_and_series")
    ->Arg(kEndOnly)
    ->Arg(kRow)
    ->Arg(kRowAndSeries)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

// The sweep into files, one thread, with and without --series.
void SweepToFiles(benchmark::State& state) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("sweep_bench." + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::vector<std::string> args = {
      "sweep",   "--seeds", "0-" + std::to_string(kSeeds - 1), "--jobs", "1",
      "--quiet", "--out",   (dir / "rows.csv").string()};
  if (state.range(0) == 1) {
    args.insert(args.end(), {"--series", (dir / "series.csv").string()});
  }
  for (auto _ : state) {
    std::filesystem::remove(dir / "rows.csv");
    std::filesystem::remove(dir / "series.csv");
    std::ostringstream out, err;
    FixedClock clock(0);
    if (RunCommandLine(args, out, err, clock) != 0) {
      state.SkipWithError(err.str().c_str());
      break;
    }
  }
  std::filesystem::remove_all(dir);
  state.SetItemsProcessed(state.iterations() * kSeeds);
}
BENCHMARK(SweepToFiles)->ArgName("series")->Arg(0)->Arg(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace impactsim::cli

BENCHMARK_MAIN();
