#pragma once
// What a sweep is asked to do, and the one check of it that every front end
// shares: the command line and the Python module hand over the arguments as
// text, and get back a checked request or an InputError naming the argument.

#include <string>
#include <vector>

#include "sweep/arguments.h"
#include "sweep/sweep_plan.h"
#include "sweep/sweep_rows.h"

namespace impactsim {

// Everything a sweep needs, checked.
struct SweepRequest {
  SweepPlan Plan;
  RowFormat Format = RowFormat::Csv;
  Shard Part;
  unsigned Jobs = 1;       // threads, at most one per processor
  bool List = false;       // print the numbered tasks instead of running them
  bool Quiet = false;      // no progress bar
  bool Resume = false;     // continue OutPath
  std::string OutPath;     // empty: the rows go to the caller
  std::string SeriesPath;  // empty: no per-round series
};

// The arguments of a sweep are those of "impactsim sweep", by key:
// "program", "seeds", "format", "shard", "jobs", "out", "series",
// "stop_on_cycle", each setting's column name ("initial_dist") and a
// switch's off twin ("no_edge"), and the switches "resume", "list" and
// "quiet".
// Checks the arguments, one after another in a fixed order, and throws
// InputError for the first problem. Reads the start files (InputError under
// "start" naming one that cannot be read or holds no population); writes
// no file.
SweepRequest ResolveSweep(const Arguments& arguments);

// The threads asked for by "jobs" (an integer 1..kMaxJobs), at most one per
// processor; one per processor when it was not given.
unsigned ResolveJobs(const ArgumentReader& in);

// The arguments of the command line that asks for exactly this sweep, after
// the program name ("sweep" first): the values of every list, the seeds,
// format, shard, repeats and files, as a sweep's description records a
// command line. Jobs, List and Quiet change no row and are left out.
std::vector<std::string> CommandLineOf(const SweepRequest& request);

}  // namespace impactsim
