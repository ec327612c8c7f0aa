#pragma once
// The runner's command line: "impactsim run|sweep|verify [options]".

#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "model/random_source.h"

namespace impactsim::cli {

// Parses the arguments (without the program name), carries out the command
// and returns the exit status. Help goes to out; bad input is reported as one
// line on err with status kExitUsage, before anything else is written or
// created. systemClock is read once when a run has no --seed.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   Clock& systemClock);

// The options of each command ("run", "sweep", "verify") as the parser
// knows them ("--seed", and an operand as "FILE"), in the order declared.
std::vector<std::pair<std::string, std::vector<std::string>>> CommandOptions();

// The help text as data, in the order the help lists it: what the manual
// page is made from, so that it says what --help says.
struct OptionHelp {
  std::string Names;  // "--seed", "-h,--help", an operand "FILE"
  std::string Value;  // "MS", or empty for a switch or an operand
  std::string Text;
};
struct CommandHelp {
  std::string Name;  // empty for the options before any command
  std::string Text;
  std::vector<OptionHelp> Options;
};
struct ProgramHelp {
  std::string Description;
  std::vector<CommandHelp> Commands;  // the top level's options first
  std::vector<std::string> Footer;    // one paragraph each
};
ProgramHelp HelpTable();

}  // namespace impactsim::cli
