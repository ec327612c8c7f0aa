#pragma once
// "impactsim verify FILE": re-runs the tasks of a sweep's --out file, as its
// description (FILE.meta.json) records the sweep, and compares every byte.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/option_text.h"
#include "cli/verify_checks.h"

namespace impactsim::cli {

// What verify is asked, with the syntax of every value checked; whether the
// tasks named are in the file is only known once it is read.
struct VerifyRequest {
  std::string Path;                            // FILE
  std::optional<std::uint64_t> Sample;         // --sample N: N rows at random
  std::vector<PositionSet::Range> TaskRanges;  // --tasks LIST, as task numbers
  unsigned Jobs = 1;
  bool Quiet = false;
};

class VerifyOptions {
 public:
  void AddTo(CLI::App& command);

  // Checks the values given and throws UsageError naming the option for the
  // first problem. Touches no file.
  VerifyRequest Resolve() const;

 private:
  std::vector<std::string> file_;
  CLI::Option* fileOption_ = nullptr;
  TextOption sample_, tasks_, jobs_;
  CLI::Option* quiet_ = nullptr;
};

// Reads FILE.meta.json, rebuilds the sweep from the command line it records
// (FILE in place of its --out), and checks FILE: the CSV header, each chosen
// row against the row its task's run makes now, the rows past the shard's
// last task and an unfinished last line, and the recorded rows_sha256
// against FILE's. Each difference is one line on `out`, then a summary line.
// Returns kExitOk when all agree, kExitFailed when anything differs (or a run
// fails), and throws UsageError for bad input (FILE or its description
// unreadable or not a sweep's, a task not in FILE) before writing anything.
// The rows are re-run on request.Jobs threads; a progress bar goes to `err`
// only when it is std::cerr on a terminal and --quiet is not given.
int ExecuteVerify(const VerifyRequest& request, std::ostream& out, std::ostream& err);

}  // namespace impactsim::cli
