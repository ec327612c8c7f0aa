// The kestane program: one window; the run's random source reads the system clock.

#include <iostream>

#include "impact/round_kernels.h"
#include "model/process_policy.h"
#include "model/random_source.h"
#include "ui/application.h"
#include "ui/fonts.h"
#include "ui/main_window.h"
#include "ui/window_layout.h"

int main(int argc, char** argv) {
  // As the runner does: a kernel choice the processor cannot follow is
  // refused (status 2) before the window opens.
  if (const auto problem = impactsim::ApplyKernelFromEnvironment()) {
    std::cerr << "kestane: " << *problem << '\n';
    return 2;
  }
  impactsim::KeepFreedMemoryBetweenRuns();
  const auto app = impactsim::ui::OpenApplication(argc, argv, "kestane");
  impactsim::ui::InstallFontSubstitutes();
  impactsim::SystemClock clock;
  impactsim::ui::TForm1 window(impactsim::ui::KestaneWindow(), clock);
  window.show();
  return app->exec();
}
