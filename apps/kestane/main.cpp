// The kestane program: one window; the run's random source reads the system clock.

#include "model/random_source.h"
#include "ui/application.h"
#include "ui/fonts.h"
#include "ui/main_window.h"
#include "ui/window_layout.h"

int main(int argc, char** argv) {
  const auto app = impactsim::ui::OpenApplication(argc, argv, "kestane");
  impactsim::ui::InstallFontSubstitutes();
  impactsim::SystemClock clock;
  impactsim::ui::TForm1 window(impactsim::ui::KestaneWindow(), clock);
  window.show();
  return app->exec();
}
