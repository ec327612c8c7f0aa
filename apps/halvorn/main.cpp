// The halvorn program: one window; the run's random source reads the system clock.

#include <QApplication>

#include "fonts.h"
#include "main_window.h"
#include "random_source.h"
#include "window_spec.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  impactsim::ui::InstallFontSubstitutes();
  impactsim::SystemClock clock;
  impactsim::ui::TForm1 window(impactsim::ui::HalvornWindow(), clock);
  window.show();
  return app.exec();
}
