#pragma once
// A program's window as its web page lays it out: the real window, built off
// screen, described as JSON. Every named control with its rectangle in the
// client area (left, top, width, height), its kind (label, field, button,
// check, radio, log, picture, panel), caption, items and opening choice, font
// (families, the named face first, then its installed substitutes; pixel
// size; bold; underline; stretch) and colours as #rrggbb; for the settings'
// controls the option words of "impactsim run" each choice stands for; and
// the window's title, menu, client size, background and help lines.

#include <QJsonObject>

#include "ui/window_layout.h"

namespace impactsim::web {

// Needs a QApplication with the windows' font substitutes installed.
QJsonObject DescribeWindow(const ui::WindowLayout& layout);

}  // namespace impactsim::web
