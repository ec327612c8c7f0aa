#include "model/spatial_measures.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

namespace impactsim {

namespace {

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

// Joins every cell with its like side neighbours in `parent` (union-find
// over cell indices) and returns the number of joins that merged two groups.
// Row by row, each cell joins its left and upper neighbour, then the wrapped
// pairs: every adjacency once. A group's root is always its first cell
// (a join hangs the later root under the earlier), so every parent comes
// before its child and one pass in order leaves each cell pointing at its
// root.
std::int64_t JoinLikeNeighbours(const OpinionGrid& grid, std::vector<int>& parent) {
  const int side = grid.Side;
  parent.resize(U(side * side));
  const std::uint8_t* opinion = grid.Opinions.data();
  std::int64_t joins = 0;
  auto link = [&](int a, int b) {  // two roots
    if (a == b) return a;
    ++joins;
    if (a > b) std::swap(a, b);
    parent[U(b)] = a;
    return a;
  };
  for (int y = 0; y < side; ++y) {
    const int row = y * side;
    int leftRoot = -1;  // the root of the cell before, as it stands
    for (int x = 0; x < side; ++x) {
      const int here = row + x;
      int root = here;
      parent[U(here)] = here;
      if (x > 0 && opinion[here - 1] == opinion[here]) root = link(leftRoot, here);
      if (y > 0 && opinion[here - side] == opinion[here]) {
        root = link(Root(parent, here - side), root);
      }
      leftRoot = root;
    }
  }
  if (grid.Wrapped) {
    auto join = [&](int here, int n) {
      if (opinion[n] == opinion[here]) link(Root(parent, here), Root(parent, n));
    };
    for (int y = 0; y < side; ++y) join(y * side + side - 1, y * side);
    for (int x = 0; x < side; ++x) join((side - 1) * side + x, x);
  }
  for (auto& p : parent) p = parent[U(p)];
  return joins;
}

}  // namespace

ClusterCounts CountClusterGroups(const OpinionGrid& grid) {
  CheckShape(grid);
  const int cells = grid.Side * grid.Side;
  std::vector<int> parent;
  JoinLikeNeighbours(grid, parent);
  std::vector<std::int64_t> size(U(cells), 0);
  for (int i = 0; i < cells; ++i) ++size[U(Root(parent, i))];
  ClusterCounts counts;
  for (int i = 0; i < cells; ++i) {
    if (parent[U(i)] != i) continue;
    ++counts.Clusters;
    if (grid.Opinions[U(i)] != 2) continue;
    ++counts.MinorityClusters;
    counts.LargestMinorityCluster = std::max(counts.LargestMinorityCluster, size[U(i)]);
  }
  return counts;
}

OpinionGroups CountOpinionGroups(const OpinionGrid& grid) {
  CheckShape(grid);
  for (const std::uint8_t opinion : grid.Opinions) {
    if (opinion < 1 || opinion > kMaxOpinions) {
      throw std::invalid_argument("opinion grid: expects opinions 1.." +
                                  std::to_string(kMaxOpinions) + ", got " +
                                  std::to_string(opinion));
    }
  }
  std::vector<int> parent;
  JoinLikeNeighbours(grid, parent);
  OpinionGroups groups;
  const int cells = grid.Side * grid.Side;
  for (int i = 0; i < cells; ++i) {
    const std::uint8_t opinion = grid.Opinions[U(i)];
    ++groups.Cells[opinion];
    if (parent[U(i)] == i) ++groups.Clusters[opinion];
  }
  return groups;
}

int SurvivingOpinions(const OpinionGroups& groups) {
  return static_cast<int>(std::count_if(groups.Cells.begin() + 1, groups.Cells.end(),
                                        [](std::int64_t n) { return n > 0; }));
}

double SmallestSurvivingShare(const OpinionGroups& groups) {
  const std::int64_t total =
      std::accumulate(groups.Cells.begin(), groups.Cells.end(), std::int64_t{0});
  std::int64_t smallest = 0;
  for (std::size_t k = 1; k < groups.Cells.size(); ++k) {
    const std::int64_t n = groups.Cells[k];
    if (n > 0 && (smallest == 0 || n < smallest)) smallest = n;
  }
  return total == 0 ? 0.0 : static_cast<double>(smallest) / static_cast<double>(total);
}

// Without the group sizes CountClusterGroups gathers: this one runs after
// every round of a series.
std::int64_t CountClusters(const OpinionGrid& grid) {
  CheckShape(grid);
  std::vector<int> parent;
  return std::int64_t{grid.Side} * grid.Side - JoinLikeNeighbours(grid, parent);
}

double LikeNeighbourShare(const OpinionGrid& grid) {
  CheckShape(grid);
  // 12 * alike / neighbours, rounded down, for 0..4 of 0..4 (12 where a
  // cell has no neighbour).
  constexpr auto kTwelfths = [] {
    std::array<std::array<int, 5>, 5> t{};
    for (int n = 0; n <= 4; ++n) {
      for (int a = 0; a <= n; ++a)
        t[static_cast<std::size_t>(a)][static_cast<std::size_t>(n)] = n == 0 ? 12 : 12 * a / n;
    }
    return t;
  }();
  const int side = grid.Side;
  const std::uint8_t* opinion = grid.Opinions.data();
  std::int64_t twelfths = 0;
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const int here = y * side + x;
      int neighbours = 0;
      int alike = 0;
      const bool inner = x > 0 && x + 1 < side && y > 0 && y + 1 < side;
      if (inner) {
        neighbours = 4;
        alike = (opinion[here - 1] == opinion[here]) + (opinion[here + 1] == opinion[here]) +
                (opinion[here - side] == opinion[here]) + (opinion[here + side] == opinion[here]);
      } else {
        for (const auto& step : kSteps) {
          const int n = Neighbour(grid, x, y, step[0], step[1]);
          if (n < 0) continue;
          ++neighbours;
          if (opinion[n] == opinion[here]) ++alike;
        }
      }
      twelfths += kTwelfths[static_cast<std::size_t>(alike)][static_cast<std::size_t>(neighbours)];
    }
  }
  const std::int64_t cells = std::int64_t{side} * side;
  return static_cast<double>(twelfths) / static_cast<double>(12 * cells);
}

std::vector<std::uint8_t> OpinionsOf(const Grid& population) {
  const int cells = population.Total();
  std::vector<std::uint8_t> opinions(U(cells));
  for (int i = 0; i < cells; ++i) opinions[U(i)] = population.Data()[i].Opinion;
  return opinions;
}

PopulationMeasures MeasurePopulation(const Grid& population, bool wrapped) {
  const std::vector<std::uint8_t> opinions = OpinionsOf(population);
  const OpinionGrid grid{opinions, population.Side(), wrapped};
  const ClusterCounts groups = CountClusterGroups(grid);
  PopulationMeasures m;
  m.Clusters = groups.Clusters;
  m.LikeNeighbours = LikeNeighbourShare(grid);
  m.MinorityClusters = groups.MinorityClusters;
  m.LargestMinorityCluster = groups.LargestMinorityCluster;

  // Integer sums per opinion; each mean is one division.
  std::array<std::int64_t, 3> count{}, persuasiveness{}, supportiveness{};
  for (int i = 0; i < population.Total(); ++i) {
    const Cell& cell = population.Data()[i];
    if (cell.Opinion != 1 && cell.Opinion != 2) continue;
    ++count[cell.Opinion];
    persuasiveness[cell.Opinion] += cell.Persuasiveness;
    supportiveness[cell.Opinion] += cell.Supportiveness;
  }
  const auto mean = [&count](const std::array<std::int64_t, 3>& sum, int opinion) {
    return count[U(opinion)] == 0
               ? std::optional<double>()
               : static_cast<double>(sum[U(opinion)]) / static_cast<double>(count[U(opinion)]);
  };
  m.Minority = {mean(persuasiveness, 2), mean(supportiveness, 2)};
  m.Majority = {mean(persuasiveness, 1), mean(supportiveness, 1)};
  if (groups.MinorityClusters > 0) {
    m.MeanMinorityClusterSize =
        static_cast<double>(count[2]) / static_cast<double>(groups.MinorityClusters);
  }
  return m;
}

EndMeasures MeasureEnd(const Grid& population, const RunResult& result) {
  const int cells = population.Total();
  const std::vector<std::uint8_t> opinions = OpinionsOf(population);
  const OpinionGrid grid{opinions, population.Side(), result.Wraps};
  EndMeasures measures;
  measures.MinorityShare = static_cast<double>(result.EndCensus[2]) / static_cast<double>(cells);
  measures.Clusters = CountClusters(grid);
  measures.LikeNeighbours = LikeNeighbourShare(grid);
  return measures;
}

}  // namespace impactsim
