#include "ui/chart_canvas.h"

#include <QPoint>
#include <algorithm>
#include <array>

#include "ui/fonts.h"
#include "ui/opinion_colours.h"

namespace impactsim::ui {

namespace {

// The plot area: the axes meet at (kAxisLeft, kAxisBottom); the vertical axis
// starts at kAxisTop and the horizontal one ends at kAxisRight.
constexpr int kAxisLeft = 10;
constexpr int kAxisTop = 30;
constexpr int kAxisRight = 210;
constexpr int kAxisBottom = 330;
constexpr int kColumnWidth = 4;

constexpr int kTitlePixels = 15;  // 11 pt at 96 dpi
constexpr int kLabelPixels = 13;  // 10 pt at 96 dpi

}  // namespace

ChartCanvas::ChartCanvas(int cellTotal, int cellsPerPixel)
    : cellTotal_(cellTotal),
      k_(cellsPerPixel),
      baseTotal_(cellTotal),
      baseK_(cellsPerPixel),
      surface_(kChartWidth, kChartHeight, Qt::white) {}

void ChartCanvas::FollowCellTotal(int cellTotal) {
  cellTotal_ = cellTotal;
  const std::int64_t scaled = std::int64_t{cellTotal} * baseK_;
  k_ = static_cast<int>(std::max<std::int64_t>(1, (scaled + baseTotal_ - 1) / baseTotal_));
}

int ChartCanvas::ColumnOf(std::int32_t round) {
  const std::int64_t offset = (std::int64_t{round} - 1) % kChartColumns;
  return static_cast<int>(offset < 0 ? offset + kChartColumns : offset) + 1;
}

void ChartCanvas::ProcessFrame(int windowOuterWidth, int windowOuterHeight) {
  surface_.SetPen(Qt::black);
  surface_.SetBrush(Qt::white);
  surface_.Rectangle(0, 0, windowOuterWidth, windowOuterHeight);

  surface_.SetFont(MakeFont(kTimesNewRoman, kTitlePixels, true));
  surface_.SetFontColour(QColor(0, 0, 128));
  surface_.Text(kChartWidth / 2 - 50, 2, QStringLiteral("Evolution Process"));

  DrawAxes();

  surface_.SetFontColour(Qt::black);
  surface_.SetFont(MakeFont(kTimesNewRoman, kLabelPixels, true));
  surface_.Text(kAxisLeft, 16, QStringLiteral("frequency"));
  surface_.Text(kChartWidth / 2 - 30, kChartHeight - 15, QStringLiteral("Round"));
}

void ChartCanvas::DrawAxes() {
  surface_.SetPen(Qt::black);
  surface_.Line(kAxisLeft, kAxisTop, kAxisLeft, kAxisBottom);
  surface_.Line(kAxisLeft, kAxisBottom, kAxisRight, kAxisBottom);
}

void ChartCanvas::DrawProcess(std::int32_t round, const Census& current, const Census& previous,
                              int opinionCount) {
  const int column = ColumnOf(round);
  if (column == 1) {
    // Everything the last cycle's columns painted: the plot area with both
    // axes, and the last column's right side at x = kAxisRight, which lies
    // just beyond the horizontal axis's end.
    surface_.SetPen(Qt::white);
    surface_.SetBrush(Qt::white);
    surface_.Rectangle(kAxisLeft, kAxisTop, kAxisRight + 1, kAxisBottom + 1);
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
    std::array<QPoint, 4> band;
    band[0] = QPoint(x1, top + prev / k_);
    band[1] = QPoint(x2, top + cur / k_);
    cur += current[i];
    prev += previous[i];
    band[2] = QPoint(x2, top + cur / k_);
    band[3] = QPoint(x1, top + prev / k_);
    surface_.SetPen(OpinionColour(o));
    surface_.SetBrush(OpinionColour(o));
    surface_.Polygon(band);
  }
}

}  // namespace impactsim::ui
