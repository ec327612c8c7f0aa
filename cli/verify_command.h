#pragma once
// "impactsim verify FILE": re-runs the tasks of a sweep's --out file, as its
// description (FILE.meta.json) records the sweep, and compares every byte.

#include <iosfwd>
#include <string>
#include <vector>

#include "sweep/command_line_rules.h"
#include "sweep/sweep_verify.h"

namespace impactsim::cli {

class VerifyOptions {
 public:
  void AddTo(CLI::App& command);

  // Checks the values given and throws InputError naming the option for the
  // first problem. Touches no file.
  VerifyRequest Resolve() const;

 private:
  std::vector<std::string> file_;
  CLI::Option* fileOption_ = nullptr;
  TextOption sample_, tasks_, jobs_;
  CLI::Option* quiet_ = nullptr;
};

// Verifies FILE (sweep/sweep_verify.h): each difference is one line on
// `out`, then a summary line. Returns kExitOk when all agree, kExitFailed
// when anything differs (or a run fails); throws InputError for bad input
// before writing anything. A progress bar goes to `err` only when it is
// std::cerr on a terminal and --quiet is not given.
int ExecuteVerify(const VerifyRequest& request, std::ostream& out, std::ostream& err);

}  // namespace impactsim::cli
