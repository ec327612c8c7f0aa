#pragma once
// "impactsim sweep": many seeded runs, one row each, in task order.

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/sweep_options.h"

namespace impactsim::cli {

// Carries out a checked sweep. --list prints the numbered tasks of the shard.
// Otherwise: with --out, checks the file (and, with --resume, that it belongs
// to this very sweep) and throws UsageError before anything is written; then
// writes FILE.meta.json, appends the CSV header if the file is empty, and runs
// the shard's missing tasks on request.Jobs threads, appending each row,
// flushed, as soon as it and all earlier rows are done. Without --out the rows
// go to out. A progress bar goes to err only when err is std::cerr on a
// terminal and --quiet is not given. `args` is the command line after the
// program name, recorded in the meta file. Returns kExitOk, or kExitFailed
// after reporting a run or a write that failed.
int ExecuteSweep(const SweepRequest& request, const std::vector<std::string>& args,
                 std::ostream& out, std::ostream& err);

}  // namespace impactsim::cli
