// impactsim: runs a simulation without a window. See "impactsim --help".

#include <iostream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "model/random_source.h"
#include "sweep/output_file.h"

int main(int argc, char** argv) {
  impactsim::OpenClosedStandardStreams();
  std::ios::sync_with_stdio(false);
  impactsim::RemoveTemporaryFilesOnSignal();
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  impactsim::SystemClock clock;
  return impactsim::cli::RunCommandLine(args, std::cout, std::cerr, clock);
}
