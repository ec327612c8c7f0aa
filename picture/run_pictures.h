#pragma once
// The map and the evolution chart of a run, as pictures: draws what the run
// reports onto the two rasters, the same way for the window, the runner's
// image files and the web edition. Each program's pictures have a size and a
// scale of their own, and their blanking rectangles reach the size of the
// window they stand in: one table of them, PicturesOf.

#include <cstdint>

#include "model/program_profile.h"
#include "model/run_observer.h"
#include "picture/chart_picture.h"
#include "picture/map_picture.h"

namespace impactsim::picture {

// A program's pictures: the map's pixels per cell, the chart's vertical
// scale (cells per pixel) and the outer size of the program's window.
struct PictureSizes {
  int CellSize;
  int ChartCellsPerPixel;
  int WindowWidth;
  int WindowHeight;
};

const PictureSizes& HalvornPictures();
const PictureSizes& KestanePictures();
// The pictures of a program, or null for a profile that has none (a copy of
// a program's table, as tests make).
const PictureSizes* PicturesOf(const ProgramProfile& program);

class RunPictures : public RunObserver {
 public:
  // cellTotal: the population the chart's scale is for (the program's).
  RunPictures(const PictureSizes& sizes, int cellTotal);

  MapPicture& Map() { return map_; }
  ChartPicture& Chart() { return chart_; }
  const MapPicture& Map() const { return map_; }
  const ChartPicture& Chart() const { return chart_; }

  // The outer size of the window the pictures stand in, where it is not the
  // table's; the blanking rectangles of the map and the chart reach to it.
  void SetWindowSize(int width, int height);
  // How many opinions are in play, 2..kMaxOpinions (the run's Opinions once
  // a population exists).
  void SetOpinionCount(int opinions) { opinionCount_ = opinions; }

  void StrategyMap() override;
  void DrawMap(const Grid& population) override;
  void DrawCell(int x, int y, std::uint8_t opinion) override;
  void ProcessFrame() override;
  void DrawProcess(std::int32_t round, const Census& current, const Census& previous) override;

 private:
  MapPicture map_;
  ChartPicture chart_;
  int windowWidth_, windowHeight_;
  int opinionCount_ = 2;
};

}  // namespace impactsim::picture
