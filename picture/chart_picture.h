#pragma once
// The "Evolution Process" chart: a stacked column per round of the opinion
// shares, drawn into a 220 x 350 raster.

#include <cstdint>
#include <string_view>

#include "model/grid.h"
#include "picture/raster.h"

namespace impactsim::picture {

inline constexpr int kChartWidth = 220;
inline constexpr int kChartHeight = 350;
inline constexpr int kChartColumns = 50;  // columns the plot area holds

// The chart's captions: the title (ChartTitleFont) and the axis labels
// (ChartLabelFont).
inline constexpr std::string_view kChartTitle = "Evolution Process";
inline constexpr std::string_view kChartVerticalLabel = "frequency";
inline constexpr std::string_view kChartHorizontalLabel = "Round";

class ChartPicture {
 public:
  // cellTotal: the population size; cellsPerPixel: the vertical scale k
  // (6 for 1600 cells, 2 for 400).
  ChartPicture(int cellTotal, int cellsPerPixel);

  Raster& Pixels() { return raster_; }
  const Raster& Pixels() const { return raster_; }

  // The empty chart: white raster with a black line along its top row and
  // left column (a white rectangle from (0, 0) to the window's outer size),
  // the title, the axes and their labels.
  void ProcessFrame(int windowOuterWidth, int windowOuterHeight);

  // The column of one round (1 or more) from this round's census and the
  // previous one: one band per opinion, highest opinion on top. The column
  // is ((round - 1) mod 50) + 1; at column 1 the plot area, with the pixels
  // the previous cycle's last column painted, is cleared and the axes
  // redrawn first.
  void DrawProcess(std::int32_t round, const Census& current, const Census& previous,
                   int opinionCount);

  // A population of `cellTotal` cells from the next column on: the scale
  // becomes the one that gives it the height the constructor's population
  // has (k rounded up).
  void FollowCellTotal(int cellTotal);
  int CellsPerPixel() const { return k_; }

  // Column of a round, 1..50.
  static int ColumnOf(std::int32_t round);

 private:
  void DrawAxes();

  int cellTotal_;
  int k_;
  int baseTotal_, baseK_;  // the constructor's population and scale
  Raster raster_;
};

}  // namespace impactsim::picture
