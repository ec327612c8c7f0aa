#pragma once
// The map and the evolution chart of a run, as a window draws them: the
// picture library's RunPictures (picture/run_pictures.h) set up from the
// program's window; ui/surface.h shows the rasters as Qt images.

#include <QSize>

#include "picture/run_pictures.h"
#include "ui/window_layout.h"

namespace impactsim::ui {

class RunPictures : public picture::RunPictures {
 public:
  // The map's cell size, the chart's scale and the window size that the
  // blanking rectangles reach come from the program's window.
  explicit RunPictures(const WindowLayout& layout);

  // The outer size of the window the pictures stand in; the blanking
  // rectangles of the map and the chart reach to it.
  void SetWindowSize(QSize outer) {
    picture::RunPictures::SetWindowSize(outer.width(), outer.height());
  }
};

}  // namespace impactsim::ui
