#pragma once
// The map and the evolution chart of a run, as pictures: draws what the run
// reports onto the two surfaces, the same way for the window and for image
// files written without a window.

#include <QImage>

#include "model/run_observer.h"
#include "ui/chart_canvas.h"
#include "ui/map_canvas.h"
#include "ui/window_layout.h"

namespace impactsim::ui {

class RunPictures : public RunObserver {
 public:
  // The map's cell size, the chart's scale and the window size that the
  // blanking rectangles reach come from the program's window.
  explicit RunPictures(const WindowLayout& layout);

  MapCanvas& Map() { return map_; }
  ChartCanvas& Chart() { return chart_; }
  const MapCanvas& Map() const { return map_; }
  const ChartCanvas& Chart() const { return chart_; }

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
  MapCanvas map_;
  ChartCanvas chart_;
  QSize windowSize_;
  int opinionCount_ = 2;
};

}  // namespace impactsim::ui
