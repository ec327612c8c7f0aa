#pragma once
// What one program's window looks like where the two programs differ, as one
// table of data. The window reads it instead of asking which program it is.

#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>

#include "model/program_profile.h"

namespace impactsim::ui {

struct WindowLayout {
  const ProgramProfile* Program;  // grid, impact model, settings that exist, defaults

  QPoint Position;    // outer top-left on the screen
  QSize OuterSize;    // outer size of the window
  QString ModelName;  // StaticText2's caption
  int ModelNameWidth;
  int Panel1Left;
  int Panel1Width;
  QPoint RadioGroup2Place;  // inside the panel
  QPoint CheckBox4Place;    // inside the panel
  int RadioGroup1Left;
  int RadioGroup3Left;
  int RadioGroup45Left;   // "Initial Dist" and "Distance Par"
  QPoint CheckBox5Place;  // "Random Seq."
  int BitBtn1Top;
  int BitBtn2Top;
  int Memo1Width;

  int CellSize;            // map pixels per cell
  int ChartCellsPerPixel;  // the chart's vertical scale

  QStringList HelpLines;  // appended to the log by "help"
};

const WindowLayout& HalvornWindow();
const WindowLayout& KestaneWindow();

// The window of a program, or null for a profile no window is made for
// (a copy of a program's table, as tests make, has none).
const WindowLayout* WindowOf(const ProgramProfile& program);

}  // namespace impactsim::ui
