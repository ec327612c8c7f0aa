#include <gtest/gtest.h>

#include "model/simulation.h"
#include "programs/programs.h"
#include "tests/recording_observer.h"

namespace impactsim {
namespace {

using testing::RecordingObserver;

TEST(population_test, cell_numbers_map_row_by_row) {
  struct Row {
    int side, number, x, y;
  };
  const Row rows[] = {{40, 1, 1, 1},   {40, 40, 40, 1},   {40, 41, 1, 2},    {40, 1600, 40, 40},
                      {40, 80, 40, 2}, {20, 20, 20, 1},   {20, 21, 1, 2},    {20, 400, 20, 20},
                      {20, 1, 1, 1},   {20, 399, 19, 20}, {40, 1599, 39, 40}};
  for (const Row& r : rows) {
    EXPECT_EQ(CellPosition(r.number, r.side), (GridPos{r.x, r.y})) << r.number << " on " << r.side;
    Grid grid(r.side);
    EXPECT_EQ(grid.Index(r.x, r.y), static_cast<std::size_t>(r.number - 1));
  }
}

TEST(population_test, count_and_log_texts) {
  EXPECT_EQ(CountDisplayText(1200), "1200");
  EXPECT_EQ(CountDisplayText(0), "0");
  EXPECT_EQ(CountDisplayText(2147483647), "2147483647");
  EXPECT_EQ(CountDisplayText(-2147483647 - 1), "-214748364") << "cut to ten characters";
  EXPECT_EQ(RunStartLine(0), "0 : ");
  EXPECT_EQ(RoundLine(12, 85), "12 : 85  ");
  EXPECT_EQ(RoundLine(1, 0), "1 : 0  ");
  EXPECT_EQ(RoundLine(2147483647, 2147483647), "2147483647 : 2147483647  ");
}

// A build from a fixed seed, as this engine makes it: the census and a few
// cells, stored once. [1, 2] is the second cell drawn and [2, 1] the first of
// the second column; the last cell is drawn last.
struct BuildCase {
  const ProgramProfile* program;
  int initialDist;
  bool wideScope;
  std::uint32_t seed;
  int radius;
  double distance;
  std::int32_t opinion2;  // cells of opinion 2
  Cell first, second, nextColumn, last;
};

TEST(population_test, default_values_builds_column_by_column_from_the_clock) {
  const ProgramProfile* h = &HalvornProgram();
  const ProgramProfile* k = &KestaneProgram();
  const BuildCase cases[] = {
      {h, 1, false, 12'345'000, 17, 10.0, 476, {1, 0, 55}, {2, 2, 62}, {1, 35, 55}, {1, 33, 19}},
      {h, 0, true, 0, 29, 19.0, 635, {2, 3, 86}, {2, 27, 67}, {1, 22, 57}, {2, 40, 11}},
      {h, 3, false, 86'399'999, 17, 10.0, 176, {1, 100, 34}, {1, 15, 8}, {1, 61, 85}, {2, 81, 67}},
      {k, 1, false, 777, 0, 0.0, 121, {1, 69, 23}, {1, 8, 42}, {1, 51, 73}, {1, 95, 82}},
      {k, 2, false, 43'200'000, 0, 0.0, 74, {1, 43, 77}, {1, 41, 70}, {1, 91, 50}, {2, 46, 30}},
  };
  for (const BuildCase& c : cases) {
    SCOPED_TRACE(std::string(c.program->Name) + " seed " + std::to_string(c.seed));
    RunSettings settings = c.program->Defaults;
    settings.InitialShare = kInitialDistItems[static_cast<std::size_t>(c.initialDist)];
    settings.WideScope = c.wideScope;
    FixedSettings source(settings);
    FixedClock clock(c.seed);
    RecordingObserver observer;
    Simulation sim(*c.program, clock, source, observer);
    sim.Model().History = {9, 9, 9, 9, 9, 9};
    sim.Model().OpinionCensus[1] = 123;
    sim.DefaultValues();

    const ModelState& m = sim.Model();
    const int side = c.program->GridSide;
    EXPECT_EQ(m.PopulationGrid.At(1, 1), c.first);
    EXPECT_EQ(m.PopulationGrid.At(1, 2), c.second);
    EXPECT_EQ(m.PopulationGrid.At(2, 1), c.nextColumn);
    EXPECT_EQ(m.PopulationGrid.At(side, side), c.last);
    for (int i = 0; i < m.CellTotal(); ++i) {
      const Cell& cell = m.PopulationGrid.Data()[i];
      ASSERT_TRUE(cell.Opinion == 1 || cell.Opinion == 2) << "cell " << i + 1;
      ASSERT_LT(cell.Persuasiveness, kStrengthValues) << "cell " << i + 1;
      ASSERT_LT(cell.Supportiveness, kStrengthValues) << "cell " << i + 1;
    }
    // An opinion and two strengths per cell: three draws each, no more.
    RandomSource replay(clock);
    replay.ReseedFromClock();
    for (int i = 0; i < 3 * m.CellTotal(); ++i) replay.RandReal();
    EXPECT_EQ(sim.Random().RandomState, replay.RandomState) << "three draws per cell";

    EXPECT_EQ(m.OpinionCount, 2);
    EXPECT_EQ(m.ScopeRadius, c.radius);
    EXPECT_EQ(m.ScopeDistance, c.distance);
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(m.History[std::size_t(i)], 0);
    EXPECT_EQ(m.OpinionCensus[1], 123) << "the build leaves the run's census alone";

    Census census{};
    TakeCensus(m, census);
    EXPECT_EQ(census[2], c.opinion2);
    EXPECT_EQ(census[1] + census[2], c.program->CellTotal);
    ASSERT_EQ(observer.initialCounts.size(), 2u) << "only the fields of opinions in play";
    EXPECT_EQ(observer.initialCounts[0], "1=" + std::to_string(census[1]));
    EXPECT_EQ(observer.initialCounts[1], "2=" + std::to_string(census[2]));
    EXPECT_TRUE(observer.events.empty()) << "the build draws nothing";
  }
}

// The build rules beyond the programs' controls: an exact count by
// selection sampling, equal strengths, shares at either end, other sides.
// Whatever the rules, three draws per cell at the places of the uniform
// build's, so the opinions drawn by share and everything drawn after the
// build stay what the uniform build gives.
TEST(population_test, build_rules_keep_three_draws_per_cell) {
  const ProgramProfile* h = &HalvornProgram();
  const ProgramProfile* k = &KestaneProgram();
  constexpr StrengthRule kUniform{};
  auto equal = [](int v) { return StrengthRule{StrengthDraw::Equal, std::uint8_t(v)}; };
  struct Case {
    const ProgramProfile* program;
    int side;  // 0: the program's
    double share;
    std::int32_t count;  // -1: by share
    StrengthRule strengths;
    std::int32_t opinion2;  // cells of opinion 2; -1: left to chance
  };
  const Case cases[] = {
      {h, 0, 0.3, 0, kUniform, 0},
      {h, 0, 0.3, 1600, kUniform, 1600},
      {h, 0, 0.3, 1, equal(0), 1},
      {h, 0, 0.1, 800, equal(100), 800},
      {h, 0, 0.3, 1599, kUniform, 1599},
      {k, 0, 0.3, 37, equal(55), 37},
      {k, 7, 0.3, 48, kUniform, 48},
      {h, 4, 0.3, 16, equal(1), 16},
      {h, 0, 0.0, -1, kUniform, 0},
      {h, 0, 1.0, -1, equal(100), 1600},
      {k, 0, 0.5, -1, equal(50), -1},
      {k, 9, 1.0, -1, kUniform, 81},
      {h, 400, 0.3, 80'000, kUniform, 80'000},
  };
  for (const Case& c : cases) {
    for (const std::uint32_t seed : {0u, 777u, 12'345'678u, 86'399'999u}) {
      SCOPED_TRACE(std::string(c.program->Name) + " side " + std::to_string(c.side) + " count " +
                   std::to_string(c.count) + " share " + std::to_string(c.share) + " seed " +
                   std::to_string(seed));
      RunSettings settings = c.program->Defaults;
      settings.Side = c.side;
      settings.InitialShare = c.share;
      settings.InitialCount = c.count;
      settings.Strengths = c.strengths;
      FixedSettings source(settings);
      FixedClock clock(seed);
      RunObserver quiet;
      Simulation sim(*c.program, clock, source, quiet);
      sim.DefaultValues();
      const ModelState& m = sim.Model();
      const int side = c.side == 0 ? c.program->GridSide : c.side;
      ASSERT_EQ(m.GridSide(), side);

      // The uniform build by share from the same seed, and its draws replayed.
      RunSettings plain = settings;
      plain.InitialCount = -1;
      plain.Strengths = kUniform;
      FixedSettings plainSource(plain);
      Simulation uniform(*c.program, clock, plainSource, quiet);
      uniform.DefaultValues();
      RandomSource replay(clock);
      replay.ReseedFromClock();
      std::int32_t left = side * side, need = c.count;
      for (int x = 1; x <= side; ++x) {
        for (int y = 1; y <= side; ++y) {
          const Cell& cell = m.PopulationGrid.At(x, y);
          const Cell& drawn = uniform.Model().PopulationGrid.At(x, y);
          if (c.count < 0) {
            ASSERT_EQ(cell.Opinion, drawn.Opinion) << x << ", " << y;
            replay.RandReal();
          } else {
            const bool two = replay.RandBelow(left--) < need;
            need -= two ? 1 : 0;
            ASSERT_EQ(cell.Opinion, two ? 2 : 1) << x << ", " << y;
          }
          replay.RandBelow(kStrengthValues);
          replay.RandBelow(kStrengthValues);
          const bool equalRule = c.strengths.Draw == StrengthDraw::Equal;
          ASSERT_EQ(cell.Persuasiveness, equalRule ? c.strengths.Value : drawn.Persuasiveness);
          ASSERT_EQ(cell.Supportiveness, equalRule ? c.strengths.Value : drawn.Supportiveness);
        }
      }
      EXPECT_EQ(sim.Random().RandomState, replay.RandomState) << "three draws per cell";
      EXPECT_EQ(sim.Random().RandomState, uniform.Random().RandomState);
      Census census{};
      TakeCensus(m, census);
      EXPECT_EQ(census[1] + census[2], side * side);
      if (c.opinion2 >= 0) {
        EXPECT_EQ(census[2], c.opinion2);
      }
    }
  }
}

TEST(population_test, shares_pick_opinions_by_running_sums) {
  constexpr double kBelow03 = 0.29999999999999993;  // the double just below 0.3
  const std::vector<double> two = {0.7, 0.3}, three = {0.5, 0.25, 0.25};
  const std::vector<double> gaps = {0.0, 0.5, 0.0, 0.5};
  struct Case {
    const std::vector<double>* shares;
    double r;
    int opinion;
  };
  // Two opinions: 2 exactly where r < InitialShare, as the two-opinion build.
  const Case cases[] = {{&two, 0.0, 2},    {&two, kBelow03, 2}, {&two, 0.3, 1},
                        {&two, 0.99, 1},   {&three, 0.0, 2},    {&three, 0.2499, 2},
                        {&three, 0.25, 3}, {&three, 0.4999, 3}, {&three, 0.5, 1},
                        {&gaps, 0.0, 2},   {&gaps, 0.4999, 2},  {&gaps, 0.5, 4},
                        {&gaps, 0.9999, 4}};
  for (const Case& c : cases) {
    EXPECT_EQ(OpinionOfDraw(c.r, *c.shares), c.opinion) << c.shares->size() << " shares, r " << c.r;
  }

  // A build of sixteen opinions all of the last: every run after it on the
  // same engine counts from zero, so a two-opinion run is not unanimous.
  RunSettings settings = HalvornProgram().Defaults;
  settings.Rounds = 1;
  settings.Opinions = 16;
  settings.InitialShares.assign(16, 0.0);
  settings.InitialShares[15] = 1.0;
  FixedSettings source(settings);
  FixedClock clock(4242);
  RunObserver quiet;
  Simulation sim(HalvornProgram(), clock, source, quiet);
  sim.DefaultValues();
  EXPECT_EQ(sim.Model().OpinionCount, 16);
  const RunResult sixteen = sim.Run();
  EXPECT_EQ(sixteen.EndCensus[16], 1600);
  EXPECT_TRUE(sixteen.Stop.Unanimity);
  source.Set(HalvornProgram().Defaults);
  sim.DefaultValues();
  const RunResult after = sim.Run();
  EXPECT_FALSE(after.Stop.Unanimity);
  EXPECT_EQ(after.EndCensus[1] + after.EndCensus[2], 1600);
  EXPECT_EQ(after.EndCensus[16], 0);
}

TEST(population_test, minority_share_follows_initial_dist) {
  // Over many seeds the share of opinion 2 converges on the chosen item.
  for (int index = 0; index < 4; ++index) {
    RunSettings settings = HalvornProgram().Defaults;
    settings.InitialShare = kInitialDistItems[static_cast<std::size_t>(index)];
    FixedSettings source(settings);
    long minority = 0;
    const int builds = 40;
    for (int seed = 0; seed < builds; ++seed) {
      FixedClock clock(static_cast<std::uint32_t>(seed * 1'000'003));
      RunObserver quiet;
      Simulation sim(HalvornProgram(), clock, source, quiet);
      sim.DefaultValues();
      Census census{};
      TakeCensus(sim.Model(), census);
      minority += census[2];
    }
    const double share = static_cast<double>(minority) / (builds * 1600.0);
    EXPECT_NEAR(share, kInitialDistItems[std::size_t(index)], 0.01) << "item " << index;
  }
}

}  // namespace
}  // namespace impactsim
