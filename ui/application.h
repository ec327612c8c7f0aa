#pragma once
// The Qt application of a window program, opened so that a machine without a
// display gets one plain line and status 1, not Qt's abort.

#include <QApplication>
#include <memory>
#include <string>

namespace impactsim::ui {

// The line a window program prints when no display can be opened.
std::string NoDisplayLine(const std::string& program);

// Creates the application (QApplication takes `argc` by reference and may
// remove its own options). Qt's messages while it looks for its platform are
// held back: if it finds none, they are dropped, NoDisplayLine(program) goes to
// stderr and the process exits with status 1 at once, without a core dump;
// otherwise they are passed on as Qt would have printed them. Where a display
// exists, or QT_QPA_PLATFORM names one that works (offscreen included),
// nothing else changes.
std::unique_ptr<QApplication> OpenApplication(int& argc, char** argv, const std::string& program);

}  // namespace impactsim::ui
