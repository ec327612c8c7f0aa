#pragma once
// The runner's command line: "impactsim run|sweep|verify [options]".

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/sweep_options.h"
#include "model/random_source.h"

namespace impactsim::cli {

// Parses the arguments (without the program name), carries out the command
// and returns the exit status. Help goes to out; bad input is reported as one
// line on err with status kExitUsage, before anything else is written or
// created. systemClock is read once when a run has no --seed.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   Clock& systemClock);

// The checked request of a sweep's command line (`args` after the program
// name, "sweep" first), by every rule "impactsim sweep" follows. Throws
// UsageError for the first problem, a parser's too, as one line.
SweepRequest ParseSweepCommandLine(const std::vector<std::string>& args);

}  // namespace impactsim::cli
