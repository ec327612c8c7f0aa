#include "model/seeded_run.h"

#include <memory>

#include "model/random_source.h"
#include "model/simulation.h"

namespace impactsim {

SeededRun RunSeeded(const ProgramProfile& program, std::uint32_t seed, const RunSettings& settings,
                    RunObserver& observer, std::optional<std::int32_t> watchCycles,
                    const std::atomic<bool>* cancel) {
  FixedClock clock(seed);
  FixedSettings source(settings);
  // The engine holds two whole grids: keep it off the caller's stack.
  const auto sim = std::make_unique<Simulation>(program, clock, source, observer);
  if (watchCycles) sim->WatchCycles(*watchCycles);
  sim->CancelOn(cancel);
  SeededRun run{sim->Run(), sim->Model().PopulationGrid};
  return run;
}

}  // namespace impactsim
