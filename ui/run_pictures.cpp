#include "ui/run_pictures.h"

namespace impactsim::ui {

RunPictures::RunPictures(const WindowLayout& layout)
    : picture::RunPictures({.CellSize = layout.CellSize,
                            .ChartCellsPerPixel = layout.ChartCellsPerPixel,
                            .WindowWidth = layout.OuterSize.width(),
                            .WindowHeight = layout.OuterSize.height()},
                           layout.Program->CellTotal) {}

}  // namespace impactsim::ui
