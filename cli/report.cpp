#include "cli/report.h"

#include <ostream>

namespace impactsim::cli {

void ReportError(std::ostream& err, std::string_view message) {
  err << "impactsim: " << message << '\n' << std::flush;
}

void ReportError(std::ostream& err, const Problem& problem) {
  ReportError(err, Render(problem, CommandLineName));
}

}  // namespace impactsim::cli
