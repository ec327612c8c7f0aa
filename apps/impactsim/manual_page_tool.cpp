// impactsim-manual: writes the runner's manual page to the named file (or to
// stdout). Run by the build; not installed.

#include <fstream>
#include <iostream>

#include "cli/manual_page.h"

#ifndef IMPACTSIM_PROJECT_VERSION
#error "IMPACTSIM_PROJECT_VERSION must be defined by the build"
#endif

int main(int argc, char** argv) {
  if (argc > 2) {
    std::cerr << "usage: impactsim-manual [FILE]\n";
    return 2;
  }
  if (argc == 1) {
    impactsim::cli::WriteManualPage(std::cout, IMPACTSIM_PROJECT_VERSION);
    return std::cout.flush() ? 0 : 1;
  }
  std::ofstream page(argv[1], std::ios::binary | std::ios::trunc);
  impactsim::cli::WriteManualPage(page, IMPACTSIM_PROJECT_VERSION);
  page.close();
  if (!page) {
    std::cerr << "impactsim-manual: cannot write " << argv[1] << '\n';
    return 1;
  }
  return 0;
}
