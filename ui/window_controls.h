#pragma once
// Helpers for building a window's controls: colours a control holds in its
// own palette, and placement by left, top, width and height in the parent.

#include <QColor>
#include <QPalette>
#include <QWidget>

namespace impactsim::ui {

// Sets one colour role of the control's palette, keeping the rest inherited.
void SetTextColour(QWidget* w, QPalette::ColorRole role, QColor colour);

// A background of its own; the widget then draws its text in its own
// window-text colour rather than the button-face client area's.
void SetBackground(QWidget* w, QColor colour);

// Gives the control its geometry and returns it, so creation and placement
// read as one step.
template <typename Widget>
Widget* Place(Widget* w, int left, int top, int width, int height) {
  w->setGeometry(left, top, width, height);
  return w;
}

}  // namespace impactsim::ui
