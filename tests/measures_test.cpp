// The spatial measures of a finished population, on small grids drawn by hand.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/spatial_measures.h"

namespace impactsim {
namespace {

struct GridCase {
  std::string name;
  std::vector<std::string> rows;  // one digit per cell
  bool wrapped;
  std::int64_t clusters;
  double likeShare;               // exact quotient of small integers
  std::int64_t minorityClusters;  // groups of opinion 2
  std::int64_t largestMinority;   // cells in the largest of them
  // With more than two opinions: the groups of each opinion 1..K, the
  // opinions held and the smallest one's share; empty for two opinions,
  // whose groups the counts above give.
  std::vector<std::int64_t> opinionClusters{};
  int surviving = 0;
  double smallestShare = 0.0;
};

class MeasuresTest : public ::testing::TestWithParam<GridCase> {};

TEST_P(MeasuresTest, ClustersAndLikeNeighbours) {
  const GridCase& c = GetParam();
  std::vector<std::uint8_t> opinions;
  for (const std::string& row : c.rows) {
    ASSERT_EQ(row.size(), c.rows.size());
    // 1..9 as digits, 10..16 as a..g.
    for (const char cell : row)
      opinions.push_back(static_cast<std::uint8_t>(cell >= 'a' ? cell - 'a' + 10 : cell - '0'));
  }
  const OpinionGrid grid{opinions, static_cast<int>(c.rows.size()), c.wrapped};
  EXPECT_EQ(CountClusters(grid), c.clusters);
  EXPECT_EQ(LikeNeighbourShare(grid), c.likeShare);
  const ClusterCounts groups = CountClusterGroups(grid);
  EXPECT_EQ(groups.Clusters, c.clusters);
  EXPECT_EQ(groups.MinorityClusters, c.minorityClusters);
  EXPECT_EQ(groups.LargestMinorityCluster, c.largestMinority);
  // Every opinion's groups together are all the groups.
  const OpinionGroups each = CountOpinionGroups(grid);
  std::int64_t all = 0;
  for (const std::int64_t n : each.Clusters) all += n;
  EXPECT_EQ(all, c.clusters);
  EXPECT_EQ(each.Clusters[2], c.minorityClusters);
  if (c.opinionClusters.empty()) return;
  for (std::size_t k = 1; k < each.Clusters.size(); ++k) {
    const std::int64_t expected = k <= c.opinionClusters.size() ? c.opinionClusters[k - 1] : 0;
    EXPECT_EQ(each.Clusters[k], expected) << "opinion " << k;
  }
  EXPECT_EQ(SurvivingOpinions(each), c.surviving);
  EXPECT_EQ(SmallestSurvivingShare(each), c.smallestShare);
}

INSTANTIATE_TEST_SUITE_P(
    HandMadeGrids, MeasuresTest,
    ::testing::Values(
        GridCase{"uniform_bounded", {"111", "111", "111"}, false, 1, 1.0, 0, 0},
        GridCase{"uniform_wrapped", {"222", "222", "222"}, true, 1, 1.0, 1, 9},
        GridCase{"checkerboard_bounded", {"1212", "2121", "1212", "2121"}, false, 16, 0.0, 8, 1},
        GridCase{"checkerboard_wrapped", {"1212", "2121", "1212", "2121"}, true, 16, 0.0, 8, 1},
        // An odd side joins the corners across the edges and pairs the others.
        GridCase{"odd_checkerboard_bounded", {"121", "212", "121"}, false, 9, 0.0, 4, 1},
        GridCase{"odd_checkerboard_wrapped", {"121", "212", "121"}, true, 4, 3.0 / 9.0, 2, 2},
        // Border cells have fewer neighbours on a bounded grid.
        GridCase{"stripes_bounded", {"1122", "1122", "1122", "1122"}, false, 2, 41.0 / 48.0, 1, 8},
        GridCase{"stripes_wrapped", {"1122", "1122", "1122", "1122"}, true, 2, 0.75, 1, 8},
        // The four corners are one group on the torus.
        GridCase{"corners_bounded", {"2112", "1111", "1111", "2112"}, false, 5, 7.0 / 12.0, 4, 1},
        GridCase{"corners_wrapped", {"2112", "1111", "1111", "2112"}, true, 2, 0.75, 1, 4},
        // A column of 2s that wraps top to bottom through the middle row's gap.
        GridCase{"column_wrapped", {"121", "111", "121"}, true, 2, 6.0 / 9.0, 1, 2},
        // Two arms joined only at the bottom: one group.
        GridCase{"u_shape_bounded", {"212", "212", "222"}, false, 2, 67.0 / 108.0, 1, 7},
        GridCase{"diagonal_pair_wrapped", {"12", "21"}, true, 4, 0.0, 2, 1},
        GridCase{"single_cell_bounded", {"1"}, false, 1, 1.0, 0, 0},
        GridCase{"single_cell_wrapped", {"2"}, true, 1, 1.0, 1, 1},
        // More than two opinions: opinion 3 in two groups, apart from 1 and 2.
        GridCase{"three_opinions_bounded",
                 {"113", "322", "332"},
                 false,
                 4,
                 47.0 / 108.0,
                 1,
                 3,
                 {1, 1, 2},
                 3,
                 2.0 / 9.0},
        // Opinion 2 gone: two opinions of three survive.
        GridCase{"one_of_three_gone_wrapped", {"33", "13"}, true, 2, 0.5, 0, 0, {1, 0, 1}, 2, 0.25},
        GridCase{"sixteen_opinions_wrapped",
                 {"1234", "5678", "9abc", "defg"},
                 true,
                 16,
                 0.0,
                 1,
                 1,
                 std::vector<std::int64_t>(16, 1),
                 16,
                 1.0 / 16.0}),
    [](const auto& grid) { return grid.param.name; });

// Groups found by walking each one out from a cell not yet seen: cells,
// groups of opinion 2 and the largest of them.
ClusterCounts WalkedGroups(const OpinionGrid& grid) {
  const int side = grid.Side;
  std::vector<int> group(grid.Opinions.size(), -1), sizes;
  ClusterCounts counts;
  for (int start = 0; start < side * side; ++start) {
    if (group[U(start)] >= 0) continue;
    std::vector<int> todo = {start};
    group[U(start)] = static_cast<int>(sizes.size());
    std::int64_t size = 0;
    while (!todo.empty()) {
      const int at = todo.back();
      todo.pop_back();
      ++size;
      const int x = at % side, y = at / side;
      const int steps[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
      for (const auto& step : steps) {
        int nx = x + step[0], ny = y + step[1];
        if (grid.Wrapped) {
          nx = (nx + side) % side;
          ny = (ny + side) % side;
        } else if (nx < 0 || ny < 0 || nx >= side || ny >= side) {
          continue;
        }
        const int n = ny * side + nx;
        if (group[U(n)] >= 0 || grid.Opinions[U(n)] != grid.Opinions[U(at)]) continue;
        group[U(n)] = group[U(start)];
        todo.push_back(n);
      }
    }
    sizes.push_back(static_cast<int>(size));
    ++counts.Clusters;
    if (grid.Opinions[U(start)] != 2) continue;
    ++counts.MinorityClusters;
    counts.LargestMinorityCluster = std::max(counts.LargestMinorityCluster, size);
  }
  return counts;
}

// Drawn grids, from speckled to nearly uniform (long winding groups that
// meet late), bounded and wrapped, against the walk.
TEST(SpatialMeasures, ClustersOfDrawnGridsAreTheWalkedGroups) {
  struct Case {
    int side;
    int percentOfTwo;
    int opinions;
  };
  const Case cases[] = {{1, 50, 2},  {2, 50, 2},  {7, 50, 2},  {16, 45, 2},
                        {40, 40, 2}, {40, 55, 2}, {33, 60, 2}, {40, 50, 5}};
  std::uint32_t state = 12345;
  auto draw = [&state](std::uint32_t n) {
    state = state * 134775813u + 1u;
    return static_cast<std::uint32_t>((std::uint64_t{state} * n) >> 32);
  };
  for (const Case& c : cases) {
    for (const bool wrapped : {false, true}) {
      std::vector<std::uint8_t> opinions(U(c.side * c.side));
      for (auto& o : opinions) {
        o = c.opinions == 2
                ? (draw(100) < static_cast<std::uint32_t>(c.percentOfTwo) ? 2 : 1)
                : static_cast<std::uint8_t>(1 + draw(static_cast<std::uint32_t>(c.opinions)));
      }
      const OpinionGrid grid{opinions, c.side, wrapped};
      const ClusterCounts walked = WalkedGroups(grid);
      const ClusterCounts found = CountClusterGroups(grid);
      const std::string where =
          "side " + std::to_string(c.side) + (wrapped ? " wrapped" : " bounded");
      EXPECT_EQ(found.Clusters, walked.Clusters) << where;
      EXPECT_EQ(found.MinorityClusters, walked.MinorityClusters) << where;
      EXPECT_EQ(found.LargestMinorityCluster, walked.LargestMinorityCluster) << where;
      EXPECT_EQ(CountClusters(grid), walked.Clusters) << where;
    }
  }
}

TEST(SweepMeasures, RejectsAGridOfTheWrongShape) {
  const std::vector<std::uint8_t> five(5, 1);
  EXPECT_THROW(CountClusters({five, 2, false}), std::invalid_argument);
  EXPECT_THROW(LikeNeighbourShare({five, 2, true}), std::invalid_argument);
  EXPECT_THROW(CountClusters({{}, 0, true}), std::invalid_argument);
}

TEST(SpatialMeasures, RejectsAGridOfTheWrongShape) {
  const std::vector<std::uint8_t> five(5, 1);
  const std::vector<std::uint8_t> seventeen = {1, 2, 17, 1};
  EXPECT_THROW(CountOpinionGroups({seventeen, 2, false}), std::invalid_argument);
  EXPECT_THROW(CountOpinionGroups({std::vector<std::uint8_t>{0}, 1, false}), std::invalid_argument);
  EXPECT_THROW(CountClusters({five, 2, false}), std::invalid_argument);
  EXPECT_THROW(LikeNeighbourShare({five, 2, true}), std::invalid_argument);
  EXPECT_THROW(CountClusters({{}, 0, true}), std::invalid_argument);
}

// A run's end measures take the grid as the run saw it: wrapped when it had
// no walls; and the minority share from the run's own final census.
TEST(SpatialMeasures, EndMeasuresFollowTheRunsTopology) {
  const std::vector<std::string> rows = {"2112", "1111", "1111", "2112"};
  Grid population(4);
  for (int y = 1; y <= 4; ++y) {
    for (int x = 1; x <= 4; ++x) {
      population.At(x, y).Opinion =
          static_cast<std::uint8_t>(rows[std::size_t(y - 1)][std::size_t(x - 1)] - '0');
    }
  }
  RunResult result;
  result.EndCensus[1] = 12;
  result.EndCensus[2] = 4;
  for (const bool wraps : {false, true}) {
    result.Wraps = wraps;
    const EndMeasures m = MeasureEnd(population, result);
    EXPECT_EQ(m.MinorityShare, 0.25);
    EXPECT_EQ(m.Clusters, wraps ? 2 : 5) << wraps;
    EXPECT_EQ(m.LikeNeighbours, wraps ? 0.75 : 7.0 / 12.0) << wraps;
  }
}

// A population's measures on hand-set cells: the groups of opinion 2, their
// mean size, and the mean strengths of each opinion, each one division of
// integer sums (so 4/3 is the double nearest to it).
TEST(SpatialMeasures, PopulationMeasuresOfHandSetCells) {
  struct Case {
    const char* name;
    std::vector<std::string> rows;
    std::vector<int> persuasiveness, supportiveness;  // row by row
    bool wrapped;
    std::int64_t minorityClusters, largest;
    std::optional<double> meanSize, minorityP, minorityS, majorityP, majorityS;
  };
  const Case cases[] = {
      {"two groups of opinion 2",
       {"211", "111", "122"},
       {10, 1, 1, 2, 2, 0, 100, 20, 30},
       {0, 5, 5, 5, 5, 5, 5, 100, 50},
       false,
       2,
       2,
       1.5,
       20.0,
       50.0,
       // 1+1+2+2+0+100 over 6, 5 x 6 over 6
       106.0 / 6.0,
       5.0},
      {"joined across the edge",
       {"211", "111", "211"},
       {10, 1, 1, 2, 2, 0, 100, 20, 31},
       {0, 5, 5, 5, 5, 5, 5, 100, 50},
       true,
       1,
       2,
       2.0,
       55.0,
       2.5,
       57.0 / 7.0,
       25.0},
      {"no opinion 2 at all",
       {"11", "11"},
       {1, 1, 2, 0},
       {100, 100, 100, 99},
       false,
       0,
       0,
       std::nullopt,
       std::nullopt,
       std::nullopt,
       1.0,
       399.0 / 4.0},
      {"thirds",
       {"22", "21"},
       {1, 1, 2, 7},
       {0, 0, 1, 7},
       false,
       1,
       3,
       3.0,
       4.0 / 3.0,
       1.0 / 3.0,
       7.0,
       7.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int side = static_cast<int>(c.rows.size());
    Grid population(side);
    for (int i = 0; i < side * side; ++i) {
      Cell& cell = population.At(i % side + 1, i / side + 1);
      const auto at = static_cast<std::size_t>(i);
      cell.Opinion =
          static_cast<std::uint8_t>(c.rows[at / c.rows.size()][at % c.rows.size()] - '0');
      cell.Persuasiveness = static_cast<std::uint8_t>(c.persuasiveness[at]);
      cell.Supportiveness = static_cast<std::uint8_t>(c.supportiveness[at]);
    }
    const PopulationMeasures m = MeasurePopulation(population, c.wrapped);
    EXPECT_EQ(m.MinorityClusters, c.minorityClusters);
    EXPECT_EQ(m.LargestMinorityCluster, c.largest);
    EXPECT_EQ(m.MeanMinorityClusterSize, c.meanSize);
    EXPECT_EQ(m.Minority, (StrengthMeans{c.minorityP, c.minorityS}));
    EXPECT_EQ(m.Majority, (StrengthMeans{c.majorityP, c.majorityS}));
    const std::vector<std::uint8_t> opinions = OpinionsOf(population);
    EXPECT_EQ(m.Clusters, CountClusters({opinions, side, c.wrapped}));
  }
}

}  // namespace
}  // namespace impactsim
