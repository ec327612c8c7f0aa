#include "model/seeded_run.h"

#include <memory>

#include "model/random_source.h"
#include "model/simulation.h"

namespace impactsim {

// One program's engine and what it reads: a clock and settings set anew for
// each run.
struct SeededRunner::Engine {
  Engine(const ProgramProfile& p, RunObserver& observer)
      : program(&p), clock(0), settings(p.Defaults), simulation(p, clock, settings, observer) {}
  const ProgramProfile* program;
  FixedClock clock;
  FixedSettings settings;
  Simulation simulation;
};

SeededRunner::SeededRunner() = default;
SeededRunner::~SeededRunner() = default;

SeededRun SeededRunner::Run(const ProgramProfile& program, std::uint32_t seed,
                            const RunSettings& settings, RunObserver& observer,
                            std::optional<std::int32_t> watchCycles,
                            const std::atomic<bool>* cancel) {
  Engine* engine = nullptr;
  for (const auto& e : engines_) {
    if (e->program == &program) engine = e.get();
  }
  if (engine == nullptr) {
    // The engine holds two whole grids: keep it off the caller's stack.
    engines_.push_back(std::make_unique<Engine>(program, observer));
    engine = engines_.back().get();
  }
  engine->clock.Set(seed);
  engine->settings.Set(settings);
  Simulation& sim = engine->simulation;
  sim.ReportTo(observer);
  if (watchCycles) {
    sim.WatchCycles(*watchCycles);
  } else {
    sim.StopWatchingCycles();
  }
  sim.CancelOn(cancel);
  SeededRun run{sim.Run(), sim.Model().PopulationGrid};
  sim.CancelOn(nullptr);
  return run;
}

SeededRun RunSeeded(const ProgramProfile& program, std::uint32_t seed, const RunSettings& settings,
                    RunObserver& observer, std::optional<std::int32_t> watchCycles,
                    const std::atomic<bool>* cancel) {
  SeededRunner runner;
  return runner.Run(program, seed, settings, observer, watchCycles, cancel);
}

}  // namespace impactsim
