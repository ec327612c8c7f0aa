#include "ui/run_pictures.h"

namespace impactsim::ui {

RunPictures::RunPictures(const WindowLayout& layout)
    : map_(layout.CellSize),
      chart_(layout.Program->CellTotal, layout.ChartCellsPerPixel),
      windowSize_(layout.OuterSize) {}

void RunPictures::StrategyMap() {
  map_.StrategyMap(windowSize_.width(), windowSize_.height());
}

void RunPictures::DrawMap(const Grid& population) {
  map_.DrawMap(population);
  chart_.FollowCellTotal(population.Total());
}

void RunPictures::DrawCell(int x, int y, std::uint8_t opinion) {
  map_.DrawCell(x, y, opinion);
}

void RunPictures::ProcessFrame() {
  chart_.ProcessFrame(windowSize_.width(), windowSize_.height());
}

void RunPictures::DrawProcess(std::int32_t round, const Census& current, const Census& previous) {
  chart_.DrawProcess(round, current, previous, opinionCount_);
}

}  // namespace impactsim::ui
