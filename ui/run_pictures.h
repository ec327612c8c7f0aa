#pragma once
// The map and the evolution chart of a run, as pictures: draws what the run
// reports onto the two rasters, the same way for the window and for image
// files written without a window. The pictures are the picture library's;
// ui/surface.h shows them as Qt images.

#include <QSize>

#include "model/run_observer.h"
#include "picture/chart_picture.h"
#include "picture/map_picture.h"
#include "ui/window_layout.h"

namespace impactsim::ui {

class RunPictures : public RunObserver {
 public:
  // The map's cell size, the chart's scale and the window size that the
  // blanking rectangles reach come from the program's window.
  explicit RunPictures(const WindowLayout& layout);

  picture::MapPicture& Map() { return map_; }
  picture::ChartPicture& Chart() { return chart_; }
  const picture::MapPicture& Map() const { return map_; }
  const picture::ChartPicture& Chart() const { return chart_; }

  // The outer size of the window the pictures stand in; the blanking
  // rectangles of the map and the chart reach to it.
  void SetWindowSize(QSize outer) { windowSize_ = outer; }

  void StrategyMap() override;
  void DrawMap(const Grid& population) override;
  void DrawCell(int x, int y, std::uint8_t opinion) override;
  void ProcessFrame() override;
  void DrawProcess(std::int32_t round, const Census& current, const Census& previous) override;

  // Tells the chart how many opinions are in play, 2..kMaxOpinions (the
  // run's Opinions once a population exists).
  void SetOpinionCount(int opinions) { opinionCount_ = opinions; }

 private:
  picture::MapPicture map_;
  picture::ChartPicture chart_;
  QSize windowSize_;
  int opinionCount_ = 2;
};

}  // namespace impactsim::ui
