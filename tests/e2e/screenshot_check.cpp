// Reads a screenshot of a program's window and checks what a person would
// see: the map's lattice of cells, and after a run the chart's columns.
//
//   screenshot_check locate SHOT.png CELL_SIZE
//       prints "X Y": the screen position of the window's client origin,
//       found from the map (cell [1, 1]'s colour starts at client (49, 113))
//   screenshot_check verify SHOT.png CELL_SIZE [ROUNDS]
//       checks the map (every cell an opinion colour in a black frame, both
//       colours present) and the chart (columns grown from the left); given
//       the rounds the run made, also that a chart which has started again
//       from the left keeps nothing of its previous cycle beside the plot
//   screenshot_check map SHOT.png CELL_SIZE
//       checks only that the map shows its lattice of cells

#include <QColor>
#include <QImage>
#include <QPoint>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

constexpr int kMapSide = 320;
const QColor kMagenta(255, 0, 255), kBlue(0, 0, 255), kBlack(0, 0, 0), kWhite(255, 255, 255);

bool IsOpinion(const QImage& shot, int x, int y) {
  if (x < 0 || y < 0 || x >= shot.width() || y >= shot.height()) return false;
  const QColor c = shot.pixelColor(x, y);
  return c == kMagenta || c == kBlue;
}

bool IsBlack(const QImage& shot, int x, int y) {
  if (x < 0 || y < 0 || x >= shot.width() || y >= shot.height()) return false;
  return shot.pixelColor(x, y) == kBlack;
}

// The top-left coloured pixel of cell [1, 1]: the first pixel from which the
// whole lattice of cell insides is in opinion colours with black frames.
std::optional<QPoint> FindMap(const QImage& shot, int cell) {
  const int side = kMapSide / cell;
  for (int y = 1; y + kMapSide < shot.height(); ++y) {
    for (int x = 1; x + kMapSide < shot.width(); ++x) {
      if (!IsOpinion(shot, x, y) || !IsBlack(shot, x - 1, y) || !IsBlack(shot, x, y - 1)) continue;
      bool lattice = true;
      for (int i = 0; i < side && lattice; ++i) {
        for (int j = 0; j < side && lattice; ++j) {
          const int u = x + i * cell, v = y + j * cell;
          lattice = IsOpinion(shot, u, v) && IsOpinion(shot, u + cell - 3, v + cell - 3) &&
                    IsBlack(shot, u - 1, v) && IsBlack(shot, u + cell - 2, v);
        }
      }
      if (lattice) return QPoint(x, y);
    }
  }
  return std::nullopt;
}

int Fail(const char* what) {
  std::fprintf(stderr, "screenshot_check: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5)
    return Fail("usage: screenshot_check locate|verify|map SHOT.png CELL_SIZE [ROUNDS]");
  const QImage shot = QImage(QString::fromLocal8Bit(argv[2])).convertToFormat(QImage::Format_RGB32);
  if (shot.isNull()) return Fail("cannot read the screenshot");
  const int cell = std::atoi(argv[3]);
  const std::optional<QPoint> map = FindMap(shot, cell);
  if (!map) return Fail("no map of cells in opinion colours on the screen");
  const QPoint client = *map - QPoint(49, 113);

  if (std::strcmp(argv[1], "locate") == 0) {
    std::printf("%d %d\n", client.x(), client.y());
    return 0;
  }
  if (std::strcmp(argv[1], "map") == 0) {
    std::printf("map: lattice of cells at %d,%d\n", map->x(), map->y());
    return 0;
  }

  // Every cell shows one colour inside a frame, and both opinions are there.
  int magenta = 0, blue = 0;
  const int side = kMapSide / cell;
  for (int i = 0; i < side; ++i) {
    for (int j = 0; j < side; ++j) {
      const QPoint inside = *map + QPoint(i * cell, j * cell);
      const QColor colour = shot.pixelColor(inside);
      for (int dx = 0; dx < cell - 2; ++dx) {
        for (int dy = 0; dy < cell - 2; ++dy) {
          if (shot.pixelColor(inside + QPoint(dx, dy)) != colour)
            return Fail("a cell of two colours");
        }
      }
      (colour == kMagenta ? magenta : blue) += 1;
    }
  }
  std::printf("map: %d x %d cells of %d pixels, %d magenta, %d blue\n", side, side, cell, magenta,
              blue);
  if (magenta == 0 || blue == 0) return Fail("the map shows only one opinion");

  // The chart: the plot area's columns, 4 pixels each from x 10, have grown
  // from the horizontal axis; the first column is in opinion colours.
  const QPoint chart = client + QPoint(432, 88);
  int grown = 0;
  for (int column = 1; column <= 50; ++column) {
    const QPoint bottom = chart + QPoint(4 * column + 8, 328);
    if (!IsOpinion(shot, bottom.x(), bottom.y())) break;
    ++grown;
  }
  std::printf("chart: %d columns\n", grown);
  if (grown == 0) return Fail("the chart has no columns");
  if (shot.pixelColor(chart + QPoint(150, 40)) != kWhite)
    return Fail("the chart's plot is not white");

  // The column beside the plot's right end (x 210) is painted only by the
  // 50th column of a cycle; once the chart has started again, it is white.
  const int rounds = argc == 5 ? std::atoi(argv[4]) : 0;
  if (rounds > 50 && rounds % 50 != 0) {
    for (int y = 30; y < 330; ++y) {
      if (shot.pixelColor(chart + QPoint(210, y)) != kWhite)
        return Fail("a stripe of the previous cycle stays beside the chart's plot");
    }
    std::printf("chart: started again after round 50, nothing of the previous cycle left\n");
  }
  return 0;
}
