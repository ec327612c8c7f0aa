#pragma once
// The options of "impactsim sweep": every run setting as a comma-separated
// list of values, the seeds, and how the sweep runs and where its rows go;
// checked into a SweepRequest before anything runs.

#include <array>
#include <string>

#include "cli/option_text.h"
#include "sweep/setting_options.h"
#include "sweep/sweep_plan.h"
#include "sweep/sweep_rows.h"
#include "sweep/sweep_runner.h"

namespace impactsim::cli {

// Everything a sweep needs, checked.
struct SweepRequest {
  SweepPlan Plan;
  RowFormat Format = RowFormat::Csv;
  Shard Part;
  unsigned Jobs = 1;
  bool List = false;       // print the numbered tasks instead of running them
  bool Quiet = false;      // no progress bar
  bool Resume = false;     // continue OutPath
  std::string OutPath;     // empty: rows to stdout
  std::string SeriesPath;  // empty: no per-round series
};

class SweepOptions {
 public:
  void AddTo(CLI::App& command);

  // Checks what was given, option by option in a fixed order, and throws
  // UsageError naming the option for the first problem. Touches no file.
  SweepRequest Resolve() const;

 private:
  TextOption program_, seeds_, format_, shard_, jobs_, out_, series_, stopOnCycle_;
  std::array<TextOption, kSettingCount> settings_;  // a list of values each
  std::array<CLI::Option*, kSettingCount> off_{};   // "--no-edge": the same as "--edge off"
  CLI::Option* list_ = nullptr;
  CLI::Option* quiet_ = nullptr;
  CLI::Option* resume_ = nullptr;
};

}  // namespace impactsim::cli
