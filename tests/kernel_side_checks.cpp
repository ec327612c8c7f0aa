// The impact models on grids of other sides than the programs' own, against
// the plain reference models, bit for bit.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "impact/ring_impact.h"
#include "programs/programs.h"
#include "tests/kernel_checks.h"
#include "tests/prepared_population.h"
#include "tests/reference/reference_impact.h"

namespace impactsim::testing {

namespace {

// Targets at the corners, on the borders and inside, as 0-based cell numbers.
std::vector<std::int32_t> Scattered(int side) {
  const std::int32_t total = side * side;
  return {0, side - 1, total - 1, total - side, total / 2, side + 1, 2 * side - 1, total - 2};
}

// Every cell's impacts from the engine turn by turn equal the reference's,
// each cell hearing `sources` cells besides itself where sources >= 0.
void ExpectSameTurns(PreparedPopulation& population, int sources, const std::string& context) {
  for (int y = 1; y <= population.Side(); ++y) {
    for (int x = 1; x <= population.Side(); ++x) {
      const int counted = population.ExpectSameImpact(x, y, context);
      if (sources >= 0) {
        ASSERT_EQ(counted, sources + 1) << context;
      }
    }
  }
}

// The farthest source of the engine's prepared tables along an axis.
int TablesReach(const RunSettings& s, const ModelState& prepared) {
  ModelState model = prepared;
  RingImpact ring;
  ring.Prepare(s, model);
  int reach = 0;
  for (const RingOffset& o : ring.Sources())
    reach = std::max({reach, std::abs(o.dx), std::abs(o.dy)});
  return reach;
}

}  // namespace

void CheckRingSides(const char* kernel, int step) {
  using enum DistancePar;
  struct Case {
    int side;
    RingScope scope;
    DistancePar distance;
    bool edge, randomSeq;
    int reach;     // along an axis
    bool kernels;  // the round kernels serve the run
  };
  const Case cases[] = {
      {5, {6, 5.5}, Two, true, false, 4, true},
      {5, {3, 3.0}, Nb, true, true, 1, true},        // nb keeps to ring 1
      {9, {4, 200.0}, Three, false, true, 4, true},  // the largest reach a 9-torus takes
      {17, {6, 5.5}, Three, false, false, 4, true},
      {17, {6, 5.5}, One, true, true, 4, true},
      {41, {9, 7.2}, Two, false, true, 6, true},
      {41, {2, 200.0}, Four, true, false, 2, true},
      {64, {12, 11.0}, Two, false, false, 9, true},
      {64, {1, 1.5}, Zero, true, true, 0, true},        // no source within the cut-off
      {5, {100, 200.0}, Two, true, false, 100, false},  // planes past kMaxPlaneBytes
      {6, {100, 200.0}, Nb, false, true, 1, true},
      {130, {2, 3.0}, Two, false, false, 1, true},  // coordinates past 127
  };
  const KernelChoice choice(kernel);
  for (std::size_t i = 0; i < std::size(cases); i += static_cast<std::size_t>(step)) {
    const Case& c = cases[i];
    RunSettings s = HalvornProgram().Defaults;
    s.Side = c.side;
    s.Scope = c.scope;
    s.Distance = c.distance;
    s.Edge = c.edge;
    s.RandomSeq = c.randomSeq;
    const std::string context = std::string(kernel) + " side " + std::to_string(c.side) +
                                " radius " + std::to_string(c.scope.Radius) + " cut-off " +
                                std::to_string(c.scope.Distance) + " " + Describe(s);
    PreparedPopulation population(HalvornProgram(), reference::MakeReferenceRingImpact(), s,
                                  3'141'592u + 1'009u * static_cast<std::uint32_t>(i));
    ASSERT_EQ(population.Side(), c.side) << context;
    EXPECT_EQ(RingReach(c.scope, c.distance), c.reach) << context;
    EXPECT_EQ(TablesReach(s, population.Model()), c.reach) << context;
    EXPECT_EQ(RingTorusFits(c.side, c.reach), c.side > 2 * c.reach) << context;
    ASSERT_EQ(population.EngineWorksAhead(), c.kernels) << context;
    // Turn by turn, as sequential runs also work where many cells change.
    ExpectSameTurns(population, -1, context);
    if (c.kernels && c.randomSeq) {
      const std::vector<std::int32_t> cells = Scattered(c.side);
      population.ExpectSameTurnsAhead(cells, 8, context);
      for (const std::int32_t cell : {0, c.side * c.side - 1, c.side + 2}) {
        population.ChangeCell(cell % c.side + 1, cell / c.side + 1);
        population.ExpectSameTurnsAhead(cells, c.side * c.side, context + " after a change");
      }
    } else if (c.kernels) {
      population.ExpectSameRound(context);
      population.ChangeCellForNextRound(1, c.side);
      population.ChangeCellForNextRound(c.side, 2);
      population.ExpectSameRound(context + " after changes");
    }
    if (::testing::Test::HasFailure()) return;
  }
  // A torus of twice the reach or less would meet cells twice: refused.
  RunSettings small = HalvornProgram().Defaults;
  small.Side = 8;
  small.Scope = RingScope{4, 200.0};
  small.Edge = false;
  EXPECT_THROW(PreparedPopulation(HalvornProgram(), reference::MakeReferenceRingImpact(), small, 1),
               std::logic_error);
}

void CheckTorusSides(const char* kernel, int step) {
  using enum DistancePar;
  struct Case {
    int side;
    DistancePar distance;
    bool summationM, randomSeq;
  };
  const Case cases[] = {
      {7, Two, false, false}, {7, Four, true, true},   {21, Three, false, true},
      {21, One, true, false}, {20, Two, false, false}, {20, Three, true, true},
      {4, Nb, false, true},
  };
  const KernelChoice choice(kernel);
  for (std::size_t i = 0; i < std::size(cases); i += static_cast<std::size_t>(step)) {
    const Case& c = cases[i];
    RunSettings s = KestaneProgram().Defaults;
    s.Side = c.side;
    s.Distance = c.distance;
    s.SummationM = c.summationM;
    s.RandomSeq = c.randomSeq;
    const std::string context =
        std::string(kernel) + " torus side " + std::to_string(c.side) + " " + Describe(s);
    PreparedPopulation population(KestaneProgram(), reference::MakeReferenceTorusImpact(), s,
                                  2'718'281u + 7'919u * static_cast<std::uint32_t>(i));
    ASSERT_EQ(population.Side(), c.side) << context;
    // Only the 20 x 20 torus has round kernels.
    ASSERT_EQ(population.EngineWorksAhead(), c.side == 20) << context;
    if (c.side != 20) {
      ExpectSameTurns(population, c.side * c.side - 1, context);
      population.ChangeCell(c.side, 1);
      ExpectSameTurns(population, c.side * c.side - 1, context + " after a change");
    } else if (c.randomSeq) {
      population.ExpectSameTurnsAhead(Scattered(c.side), 400, context);
    } else {
      population.ExpectSameRound(context);
    }
    if (::testing::Test::HasFailure()) return;
  }
}

}  // namespace impactsim::testing
