#pragma once
// The options of "impactsim sweep": every run setting as a comma-separated
// list of values, the seeds, and how the sweep runs and where its rows go.
// The runner offers them; resume and verify read a recorded command line
// back with them.

#include <array>
#include <string>
#include <vector>

#include "sweep/command_line_rules.h"
#include "sweep/setting_options.h"
#include "sweep/sweep_arguments.h"

namespace impactsim {

class SweepOptions {
 public:
  // Declares the options, with their help, on the command.
  void AddTo(CLI::App& command);

  // What was given, after parsing `args` (see Collect), for ResolveSweep.
  Arguments Given(const std::vector<std::string>& args) const;

 private:
  TextOption program_, seeds_, format_, shard_, jobs_, out_, series_, stopOnCycle_;
  std::array<TextOption, kSettingCount> settings_;  // a list of values each
  std::array<CLI::Option*, kSettingCount> off_{};   // "--no-edge": the same as "--edge off"
  CLI::Option* list_ = nullptr;
  CLI::Option* quiet_ = nullptr;
  CLI::Option* resume_ = nullptr;
};

// The checked request of a sweep's command line (`args` after the program
// name, "sweep" first), as recorded in a sweep's description, by every rule
// "impactsim sweep" follows but one: an empty value of a switch setting
// ("--edge="), which earlier versions took as the switch given bare, is
// still read so. Throws InputError for the first problem, a parser's too, as
// one line, and for a request of help, which runs no sweep.
SweepRequest ParseSweepCommandLine(const std::vector<std::string>& args);

}  // namespace impactsim
