#include "picture/chart_picture.h"

#include <algorithm>
#include <array>

#include "picture/glyph_font.h"
#include "picture/opinion_colours.h"

namespace impactsim::picture {

namespace {

// The plot area: the axes meet at (kAxisLeft, kAxisBottom); the vertical axis
// starts at kAxisTop and the horizontal one ends at kAxisRight.
constexpr int kAxisLeft = 10;
constexpr int kAxisTop = 30;
constexpr int kAxisRight = 210;
constexpr int kAxisBottom = 330;
constexpr int kColumnWidth = 4;

constexpr Rgb kBlack = 0x000000;
constexpr Rgb kWhite = 0xFFFFFF;
constexpr Rgb kNavy = 0x000080;

}  // namespace

ChartPicture::ChartPicture(int cellTotal, int cellsPerPixel)
    : cellTotal_(cellTotal),
      k_(cellsPerPixel),
      baseTotal_(cellTotal),
      baseK_(cellsPerPixel),
      raster_(kChartWidth, kChartHeight, kWhite) {}

void ChartPicture::FollowCellTotal(int cellTotal) {
  cellTotal_ = cellTotal;
  const std::int64_t scaled = std::int64_t{cellTotal} * baseK_;
  k_ = static_cast<int>(std::max<std::int64_t>(1, (scaled + baseTotal_ - 1) / baseTotal_));
}

int ChartPicture::ColumnOf(std::int32_t round) {
  const std::int64_t offset = (std::int64_t{round} - 1) % kChartColumns;
  return static_cast<int>(offset < 0 ? offset + kChartColumns : offset) + 1;
}

void ChartPicture::ProcessFrame(int windowOuterWidth, int windowOuterHeight) {
  raster_.SetPen(kBlack);
  raster_.SetBrush(kWhite);
  raster_.Rectangle(0, 0, windowOuterWidth, windowOuterHeight);

  raster_.SetFontColour(kNavy);
  raster_.Text(kChartWidth / 2 - 50, 2, ChartTitleFont(), kChartTitle);

  DrawAxes();

  raster_.SetFontColour(kBlack);
  raster_.Text(kAxisLeft, 16, ChartLabelFont(), kChartVerticalLabel);
  raster_.Text(kChartWidth / 2 - 30, kChartHeight - 15, ChartLabelFont(), kChartHorizontalLabel);
}

void ChartPicture::DrawAxes() {
  raster_.SetPen(kBlack);
  raster_.Line(kAxisLeft, kAxisTop, kAxisLeft, kAxisBottom);
  raster_.Line(kAxisLeft, kAxisBottom, kAxisRight, kAxisBottom);
}

void ChartPicture::DrawProcess(std::int32_t round, const Census& current, const Census& previous,
                               int opinionCount) {
  const int column = ColumnOf(round);
  if (column == 1) {
    // Everything the last cycle's columns painted: the plot area with both
    // axes, and the last column's right side at x = kAxisRight, which lies
    // just beyond the horizontal axis's end.
    raster_.SetPen(kWhite);
    raster_.SetBrush(kWhite);
    raster_.Rectangle(kAxisLeft, kAxisTop, kAxisRight + 1, kAxisBottom + 1);
    DrawAxes();
  }

  // Bands are stacked from the top of the scale, highest opinion first; each
  // joins its share in the previous round (left side) to its share in this
  // one (right side).
  const int x1 = kColumnWidth * (column - 1) + kAxisLeft;
  const int x2 = kColumnWidth * column + kAxisLeft;
  const int top = kAxisBottom - cellTotal_ / k_;
  std::int32_t cur = 0;
  std::int32_t prev = 0;
  for (int o = opinionCount; o >= 1; --o) {
    const auto i = static_cast<std::size_t>(o);
    if (current[i] <= 0 && previous[i] <= 0) continue;
    std::array<Point, 4> band;
    band[0] = Point{x1, top + prev / k_};
    band[1] = Point{x2, top + cur / k_};
    cur += current[i];
    prev += previous[i];
    band[2] = Point{x2, top + cur / k_};
    band[3] = Point{x1, top + prev / k_};
    raster_.SetPen(OpinionColour(o));
    raster_.SetBrush(OpinionColour(o));
    raster_.Polygon(band);
  }
}

}  // namespace impactsim::picture
