#pragma once
// The options of "impactsim sweep": every run setting as a comma-separated
// list of values, the seeds, and how the sweep runs and where its rows go;
// checked into a SweepRequest before anything runs.

#include <string>
#include <vector>

#include "sweep_plan.h"
#include "sweep_rows.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace impactsim::cli {

inline constexpr unsigned kMaxJobs = 1024;

// Everything a sweep needs, checked.
struct SweepRequest {
  SweepPlan Plan;
  RowFormat Format = RowFormat::Csv;
  Shard Part;
  unsigned Jobs = 1;
  bool List = false;    // print the numbered tasks instead of running them
  bool Quiet = false;   // no progress bar
  bool Resume = false;  // continue OutPath
  std::string OutPath;  // empty: rows to stdout
};

class SweepOptions {
 public:
  void AddTo(CLI::App& command);

  // Checks what was given, option by option in a fixed order, and throws
  // UsageError naming the option for the first problem. Touches no file.
  SweepRequest Resolve() const;

 private:
  struct Value {
    std::vector<std::string> Given;  // one entry per occurrence
    CLI::Option* Option = nullptr;
  };

  Value program_, rounds_, initialDist_, distance_, edge_, wideScope_, removeSelf_, summation_,
      sequential_, seeds_, format_, shard_, jobs_, out_;
  CLI::Option* noEdge_ = nullptr;
  CLI::Option* simultaneous_ = nullptr;
  CLI::Option* list_ = nullptr;
  CLI::Option* quiet_ = nullptr;
  CLI::Option* resume_ = nullptr;
};

// The number of threads a sweep uses without --jobs: one per hardware
// thread, at least one.
unsigned DefaultJobs();

}  // namespace impactsim::cli
