#include "ui/application.h"

#include <QByteArray>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace impactsim::ui {

namespace {

// What the message handler needs while the application is being created.
struct Opening {
  std::string program;
  std::vector<std::pair<QtMsgType, QString>> held;
  QtMessageHandler previous = nullptr;
};
Opening* opening = nullptr;

void HoldMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg) {
    // No platform could be opened: Qt would abort next.
    std::fputs((NoDisplayLine(opening->program) + '\n').c_str(), stderr);
    std::fflush(stderr);
    std::_Exit(1);
  }
  (void)context;
  opening->held.emplace_back(type, text);
}

}  // namespace

std::string NoDisplayLine(const std::string& program) {
  return program +
         ": no display to open the window on (DISPLAY and WAYLAND_DISPLAY are unset or "
         "unreachable); run it on a desktop, under xvfb-run, or use impactsim for headless runs";
}

std::unique_ptr<QApplication> OpenApplication(int& argc, char** argv, const std::string& program) {
  Opening state{program, {}, nullptr};
  opening = &state;
  state.previous = qInstallMessageHandler(HoldMessage);
  auto app = std::make_unique<QApplication>(argc, argv);
  qInstallMessageHandler(state.previous);
  opening = nullptr;
  // The platform was found: what Qt said meanwhile is shown after all.
  const QMessageLogContext context;
  for (const auto& [type, text] : state.held) qt_message_output(type, context, text);
  return app;
}

}  // namespace impactsim::ui
