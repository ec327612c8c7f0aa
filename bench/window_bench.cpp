// The Start handler of a default halvorn run in the window, on the offscreen
// platform, against the same seeded run with nothing shown (as the headless
// runner makes it).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <memory>

#include "model/process_policy.h"
#include "model/seeded_run.h"
#include "programs/programs.h"
#include "ui/fonts.h"
#include "ui/main_window.h"

namespace {

using namespace impactsim;

constexpr std::uint32_t kSeeds[] = {12'345'000, 43'210'000, 777, 61'000'123};
constexpr double kRunsPerIteration = static_cast<double>(std::size(kSeeds));

void WindowRun(benchmark::State& state, const ui::WindowLayout& layout) {
  std::int64_t rounds = 0;
  for (auto _ : state) {
    for (std::uint32_t seed : kSeeds) {
      state.PauseTiming();
      FixedClock clock(seed);
      auto window = std::make_unique<ui::TForm1>(layout, clock);
      window->show();
      QApplication::processEvents();
      state.ResumeTiming();
      window->BitBtn1Click();
      state.PauseTiming();
      rounds += window->Edit[1]->text().toInt();
      window.reset();
      state.ResumeTiming();
    }
  }
  const double runs = static_cast<double>(state.iterations()) * kRunsPerIteration;
  state.counters["runs_per_second"] = benchmark::Counter(runs, benchmark::Counter::kIsRate);
  state.counters["rounds_per_run"] = static_cast<double>(rounds) / runs;
}

void HeadlessRun(benchmark::State& state, const ProgramProfile& program) {
  for (auto _ : state) {
    for (std::uint32_t seed : kSeeds) {
      RunObserver none;
      const SeededRun run = RunSeeded(program, seed, program.Defaults, none);
      benchmark::DoNotOptimize(run.Result.EndCensus);
    }
  }
  state.counters["runs_per_second"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kRunsPerIteration, benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(WindowRun, halvorn, ui::HalvornWindow())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HeadlessRun, halvorn, HalvornProgram())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(WindowRun, kestane, ui::KestaneWindow())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HeadlessRun, kestane, KestaneProgram())->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  KeepFreedMemoryBetweenRuns();  // as the programs run
  QApplication app(argc, argv);
  ui::InstallFontSubstitutes();
  if (qEnvironmentVariableIsSet("STYLE")) QApplication::setStyle(qEnvironmentVariable("STYLE"));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
