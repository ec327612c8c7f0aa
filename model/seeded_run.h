#pragma once
// The one way to make a headless run: a program, a seed, settings and an
// observer in; what the run did and the population it left out.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "model/grid.h"
#include "model/program_profile.h"
#include "model/run_observer.h"
#include "model/run_result.h"
#include "model/run_settings.h"

namespace impactsim {

struct SeededRun {
  RunResult Result;
  Grid Population;  // the population after the last round
};

// One complete run whose every clock read returns `seed` (milliseconds of
// the day, 0..86399999), so the same arguments give the same run on every
// build and machine. Reports to `observer` as the window's run does and
// returns when the run is over. Uses nothing shared but the constant program
// table, so runs may go on in parallel threads.
//
// With `watchCycles`, the run's opinion pattern is watched for repetitions
// (RunResult::Repetition); a value above 0 also ends the run once a cycle of
// period 2 or more has come round that many times (Simulation::WatchCycles).
//
// With `cancel`, the run also stops after the first round that ends with the
// flag set, and its result says it was cancelled (Simulation::CancelOn).
SeededRun RunSeeded(const ProgramProfile& program, std::uint32_t seed, const RunSettings& settings,
                    RunObserver& observer, std::optional<std::int32_t> watchCycles = std::nullopt,
                    const std::atomic<bool>* cancel = nullptr);

// Seeded runs one after another, each exactly what RunSeeded gives with the
// same arguments, on engines kept from run to run (one per program): the
// tables and buffers a run builds serve the next one, so a short run costs
// little more than its turns. For one thread; a sweep keeps one per worker.
class SeededRunner {
 public:
  SeededRunner();
  ~SeededRunner();
  SeededRunner(const SeededRunner&) = delete;
  SeededRunner& operator=(const SeededRunner&) = delete;

  SeededRun Run(const ProgramProfile& program, std::uint32_t seed, const RunSettings& settings,
                RunObserver& observer, std::optional<std::int32_t> watchCycles = std::nullopt,
                const std::atomic<bool>* cancel = nullptr);

 private:
  struct Engine;
  std::vector<std::unique_ptr<Engine>> engines_;
};

}  // namespace impactsim
