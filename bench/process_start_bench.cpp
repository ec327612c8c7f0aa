// The cost of starting the runner: "impactsim run --seed 1 --rounds 1" as a
// whole process, next to /bin/true started the same way in the same loop,
// both with stdout and stderr on /dev/null.
//
//   build/bin/process_start_bench
//
// true_ms and impactsim_ms are the mean wall times of one process;
// ratio = impactsim_ms / true_ms. A cluster job that runs many short runs
// pays this once per run, so the runner should stay within a few times the
// cost of the smallest program.

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include "bench/quiet_process.h"

namespace {

using impactsim::bench::OwnDirectory;

// Starts the command with its output on /dev/null and waits for it; returns
// the wall time in seconds.
double TimeProcess(const std::vector<std::string>& command) {
  const auto start = std::chrono::steady_clock::now();
  impactsim::bench::RunQuietly(command);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void ProcessStart(benchmark::State& state) {
  const std::vector<std::string> trueCommand = {"/bin/true"};
  const std::vector<std::string> runCommand = {
      OwnDirectory() + "impactsim", "run", "--seed", "1", "--rounds", "1"};
  double trueSeconds = 0.0;
  double runSeconds = 0.0;
  for (auto _ : state) {
    trueSeconds += TimeProcess(trueCommand);
    runSeconds += TimeProcess(runCommand);
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["true_ms"] = 1e3 * trueSeconds / n;
  state.counters["impactsim_ms"] = 1e3 * runSeconds / n;
  state.counters["ratio"] = runSeconds / trueSeconds;
}

BENCHMARK(ProcessStart)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
