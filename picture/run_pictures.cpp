#include "picture/run_pictures.h"

#include "programs/programs.h"

namespace impactsim::picture {

const PictureSizes& HalvornPictures() {
  static constexpr PictureSizes sizes{
      .CellSize = 8, .ChartCellsPerPixel = 6, .WindowWidth = 699, .WindowHeight = 651};
  return sizes;
}

const PictureSizes& KestanePictures() {
  static constexpr PictureSizes sizes{
      .CellSize = 16, .ChartCellsPerPixel = 2, .WindowWidth = 699, .WindowHeight = 640};
  return sizes;
}

const PictureSizes* PicturesOf(const ProgramProfile& program) {
  if (&program == &HalvornProgram()) return &HalvornPictures();
  if (&program == &KestaneProgram()) return &KestanePictures();
  return nullptr;
}

RunPictures::RunPictures(const PictureSizes& sizes, int cellTotal)
    : map_(sizes.CellSize),
      chart_(cellTotal, sizes.ChartCellsPerPixel),
      windowWidth_(sizes.WindowWidth),
      windowHeight_(sizes.WindowHeight) {}

void RunPictures::SetWindowSize(int width, int height) {
  windowWidth_ = width;
  windowHeight_ = height;
}

void RunPictures::StrategyMap() {
  map_.StrategyMap(windowWidth_, windowHeight_);
}

void RunPictures::DrawMap(const Grid& population) {
  map_.DrawMap(population);
  chart_.FollowCellTotal(population.Total());
}

void RunPictures::DrawCell(int x, int y, std::uint8_t opinion) {
  map_.DrawCell(x, y, opinion);
}

void RunPictures::ProcessFrame() {
  chart_.ProcessFrame(windowWidth_, windowHeight_);
}

void RunPictures::DrawProcess(std::int32_t round, const Census& current, const Census& previous) {
  chart_.DrawProcess(round, current, previous, opinionCount_);
}

}  // namespace impactsim::picture
