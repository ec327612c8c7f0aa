#pragma once
// "impactsim sweep": many seeded runs, one row each, in task order.

#include <iosfwd>
#include <string>
#include <vector>

#include "sweep/sweep_arguments.h"

namespace impactsim::cli {

// Carries out a checked sweep. --list prints the numbered tasks of the
// shard; otherwise the sweep is written (sweep/sweep_writer.h), its rows to
// --out or, without it, to `out`. A progress bar goes to `err` only when
// err is std::cerr on a terminal and --quiet is not given. `args` is the
// command line after the program name, recorded in the description.
// Returns kExitOk, or kExitFailed after reporting a run or a write that
// failed; throws InputError for bad input before anything is written. A
// signal that asks the runs to stop (StopRunsOnSignal, in force meanwhile)
// stops the runs after their round, leaves the files resumable and returns
// kExitFailed without a report, for the caller to end as the signal demands.
int ExecuteSweep(const SweepRequest& request, const std::vector<std::string>& args,
                 std::ostream& out, std::ostream& err);

}  // namespace impactsim::cli
