// impactsim: runs a simulation without a window. See "impactsim --help".

#include <iostream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/report.h"
#include "impact/round_kernels.h"
#include "model/process_policy.h"
#include "model/random_source.h"
#include "sweep/output_file.h"

int main(int argc, char** argv) {
  impactsim::OpenClosedStandardStreams();
  std::ios::sync_with_stdio(false);
  // A kernel choice the processor cannot follow is bad input: refused before
  // the command line is read or any file is touched.
  if (const auto problem = impactsim::ApplyKernelFromEnvironment()) {
    impactsim::cli::ReportError(std::cerr, *problem);
    return impactsim::cli::kExitUsage;
  }
  impactsim::KeepFreedMemoryBetweenRuns();
  impactsim::RemoveTemporaryFilesOnSignal();
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  impactsim::SystemClock clock;
  const int status = impactsim::cli::RunCommandLine(args, std::cout, std::cerr, clock);
  // Work that a signal stopped between rounds ends as that signal demands.
  std::cout.flush();
  impactsim::EndIfStopRequested();
  return status;
}
