// The spatial measures of a finished population, on small grids drawn by hand.

#include <gtest/gtest.h>

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
  double likeShare;  // exact quotient of small integers
};

class MeasuresTest : public ::testing::TestWithParam<GridCase> {};

TEST_P(MeasuresTest, ClustersAndLikeNeighbours) {
  const GridCase& c = GetParam();
  std::vector<std::uint8_t> opinions;
  for (const std::string& row : c.rows) {
    ASSERT_EQ(row.size(), c.rows.size());
    for (const char digit : row) opinions.push_back(static_cast<std::uint8_t>(digit - '0'));
  }
  const OpinionGrid grid{opinions, static_cast<int>(c.rows.size()), c.wrapped};
  EXPECT_EQ(CountClusters(grid), c.clusters);
  EXPECT_EQ(LikeNeighbourShare(grid), c.likeShare);
}

INSTANTIATE_TEST_SUITE_P(
    HandMadeGrids, MeasuresTest,
    ::testing::Values(
        GridCase{"uniform_bounded", {"111", "111", "111"}, false, 1, 1.0},
        GridCase{"uniform_wrapped", {"222", "222", "222"}, true, 1, 1.0},
        GridCase{"checkerboard_bounded", {"1212", "2121", "1212", "2121"}, false, 16, 0.0},
        GridCase{"checkerboard_wrapped", {"1212", "2121", "1212", "2121"}, true, 16, 0.0},
        // An odd side joins the corners across the edges and pairs the others.
        GridCase{"odd_checkerboard_bounded", {"121", "212", "121"}, false, 9, 0.0},
        GridCase{"odd_checkerboard_wrapped", {"121", "212", "121"}, true, 4, 3.0 / 9.0},
        // Border cells have fewer neighbours on a bounded grid.
        GridCase{"stripes_bounded", {"1122", "1122", "1122", "1122"}, false, 2, 41.0 / 48.0},
        GridCase{"stripes_wrapped", {"1122", "1122", "1122", "1122"}, true, 2, 0.75},
        // The four corners are one group on the torus.
        GridCase{"corners_bounded", {"2112", "1111", "1111", "2112"}, false, 5, 7.0 / 12.0},
        GridCase{"corners_wrapped", {"2112", "1111", "1111", "2112"}, true, 2, 0.75},
        // A column of 2s that wraps top to bottom through the middle row's gap.
        GridCase{"column_wrapped", {"121", "111", "121"}, true, 2, 6.0 / 9.0},
        // Two arms joined only at the bottom: one group.
        GridCase{"u_shape_bounded", {"212", "212", "222"}, false, 2, 67.0 / 108.0},
        GridCase{"diagonal_pair_wrapped", {"12", "21"}, true, 4, 0.0},
        GridCase{"single_cell_bounded", {"1"}, false, 1, 1.0},
        GridCase{"single_cell_wrapped", {"2"}, true, 1, 1.0}),
    [](const auto& grid) { return grid.param.name; });

TEST(SweepMeasures, RejectsAGridOfTheWrongShape) {
  const std::vector<std::uint8_t> five(5, 1);
  EXPECT_THROW(CountClusters({five, 2, false}), std::invalid_argument);
  EXPECT_THROW(LikeNeighbourShare({five, 2, true}), std::invalid_argument);
  EXPECT_THROW(CountClusters({{}, 0, true}), std::invalid_argument);
}

TEST(SpatialMeasures, RejectsAGridOfTheWrongShape) {
  const std::vector<std::uint8_t> five(5, 1);
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

}  // namespace
}  // namespace impactsim
