#pragma once
// The runner's command line: "impactsim run [options]".

#include <iosfwd>
#include <string>
#include <vector>

#include "model/random_source.h"

namespace impactsim::cli {

// Parses the arguments (without the program name), carries out the command
// and returns the exit status. Help goes to out; bad input is reported as one
// line on err with status kExitUsage, before anything else is written or
// created. systemClock is read once when a run has no --seed.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   Clock& systemClock);

}  // namespace impactsim::cli
