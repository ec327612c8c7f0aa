#include "model/seeded_run.h"

#include <memory>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "model/random_source.h"
#include "model/simulation.h"

namespace impactsim {

namespace {

// Runs one after another each take and give back the same few hundred
// kilobytes to a few megabytes. By default glibc returns freed memory at the
// top of the heap to the system and serves large blocks from fresh mappings,
// so every run would take its memory back page by page, a page fault each;
// on a virtual machine those cost more than a short run's rounds. Keep it.
void KeepFreedMemory() {
#if defined(__GLIBC__)
  static const bool kept = [] {
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    return true;
  }();
  (void)kept;
#endif
}

}  // namespace

SeededRun RunSeeded(const ProgramProfile& program, std::uint32_t seed, const RunSettings& settings,
                    RunObserver& observer, std::optional<std::int32_t> watchCycles) {
  KeepFreedMemory();
  FixedClock clock(seed);
  FixedSettings source(settings);
  // The engine holds two whole grids: keep it off the caller's stack.
  const auto sim = std::make_unique<Simulation>(program, clock, source, observer);
  if (watchCycles) sim->WatchCycles(*watchCycles);
  SeededRun run{sim->Run(), sim->Model().PopulationGrid};
  return run;
}

}  // namespace impactsim
