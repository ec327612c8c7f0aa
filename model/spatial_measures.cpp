#include "model/spatial_measures.h"

#include <numeric>
#include <stdexcept>
#include <vector>

namespace impactsim {

namespace {

std::size_t U(int i) {
  return static_cast<std::size_t>(i);
}

void CheckShape(const OpinionGrid& grid) {
  if (grid.Side < 1 || grid.Opinions.size() != U(grid.Side) * U(grid.Side)) {
    throw std::invalid_argument("opinion grid: expects Side x Side opinions, Side >= 1");
  }
}

// The cell one step from (x, y) in direction (dx, dy), 0-based, or -1 where a
// wall is in the way.
int Neighbour(const OpinionGrid& grid, int x, int y, int dx, int dy) {
  int nx = x + dx;
  int ny = y + dy;
  if (nx < 0 || nx >= grid.Side || ny < 0 || ny >= grid.Side) {
    if (!grid.Wrapped) return -1;
    nx = (nx + grid.Side) % grid.Side;
    ny = (ny + grid.Side) % grid.Side;
  }
  return ny * grid.Side + nx;
}

constexpr int kSteps[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};

// Union-find over cell indices, with path halving.
int Root(std::vector<int>& parent, int i) {
  while (parent[U(i)] != i) {
    parent[U(i)] = parent[U(parent[U(i)])];
    i = parent[U(i)];
  }
  return i;
}

}  // namespace

std::int64_t CountClusters(const OpinionGrid& grid) {
  CheckShape(grid);
  const int cells = grid.Side * grid.Side;
  std::vector<int> parent(U(cells));
  std::iota(parent.begin(), parent.end(), 0);
  std::int64_t clusters = cells;
  // Joining each cell with its right and lower neighbour covers every
  // adjacency once (the wrapped ones included).
  for (int y = 0; y < grid.Side; ++y) {
    for (int x = 0; x < grid.Side; ++x) {
      const int here = y * grid.Side + x;
      for (const int n : {Neighbour(grid, x, y, 1, 0), Neighbour(grid, x, y, 0, 1)}) {
        if (n < 0 || grid.Opinions[U(n)] != grid.Opinions[U(here)]) continue;
        const int a = Root(parent, here);
        const int b = Root(parent, n);
        if (a == b) continue;
        parent[U(a)] = b;
        --clusters;
      }
    }
  }
  return clusters;
}

double LikeNeighbourShare(const OpinionGrid& grid) {
  CheckShape(grid);
  std::int64_t twelfths = 0;
  for (int y = 0; y < grid.Side; ++y) {
    for (int x = 0; x < grid.Side; ++x) {
      const std::uint8_t opinion = grid.Opinions[U(y * grid.Side + x)];
      int neighbours = 0;
      int alike = 0;
      for (const auto& step : kSteps) {
        const int n = Neighbour(grid, x, y, step[0], step[1]);
        if (n < 0) continue;
        ++neighbours;
        if (grid.Opinions[U(n)] == opinion) ++alike;
      }
      twelfths += neighbours == 0 ? 12 : 12 * alike / neighbours;
    }
  }
  const std::int64_t cells = std::int64_t{grid.Side} * grid.Side;
  return static_cast<double>(twelfths) / static_cast<double>(12 * cells);
}

EndMeasures MeasureEnd(const Grid& population, const RunResult& result) {
  const int cells = population.Total();
  std::vector<std::uint8_t> opinions(U(cells));
  for (int i = 0; i < cells; ++i) opinions[U(i)] = population.Data()[i].Opinion;
  const OpinionGrid grid{opinions, population.Side(), result.Wraps};
  EndMeasures measures;
  measures.MinorityShare = static_cast<double>(result.EndCensus[2]) / static_cast<double>(cells);
  measures.Clusters = CountClusters(grid);
  measures.LikeNeighbours = LikeNeighbourShare(grid);
  return measures;
}

}  // namespace impactsim
