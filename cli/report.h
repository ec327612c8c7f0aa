#pragma once
// What every command of the runner shares: its exit statuses, and the one
// line it writes for a problem.

#include <iosfwd>
#include <string_view>

#include "sweep/input_error.h"

namespace impactsim::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // a run or an output failed after the checks
inline constexpr int kExitUsage = 2;   // bad command line or unwritable output path

// Writes "impactsim: <message>" as one line.
void ReportError(std::ostream& err, std::string_view message);

// The same for a problem, its arguments spelled as options ("--out").
void ReportError(std::ostream& err, const Problem& problem);

}  // namespace impactsim::cli
