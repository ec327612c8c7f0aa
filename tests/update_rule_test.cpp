#include <gtest/gtest.h>

#include <cmath>

#include "model/simulation.h"

namespace impactsim {
namespace {

// Reports fixed totals whatever the cell.
class FixedTotals final : public ImpactModel {
 public:
  FixedTotals(double a, double b) : a_(a), b_(b) {}
  void Prepare(const RunSettings&, ModelState&) override {}
  void ComputeImpact(const ModelState&, int, int, ImpactVector& impact, SourceCount&) override {
    EXPECT_EQ(impact[1], 0.0) << "zeroed before the call";
    EXPECT_EQ(impact[2], 0.0);
    impact[1] += a_;
    impact[2] += b_;
    ++calls;
  }
  int calls = 0;

 private:
  double a_, b_;
};

// How many draws took a random source from `before` to the state `after`:
// the steps of its recurrence between them (-1: more than eight).
int DrawsBetween(RandomSource before, std::uint32_t after) {
  for (int draws = 0; draws <= 8; ++draws, before.RandBelow(2)) {
    if (before.RandomState == after) return draws;
  }
  return -1;
}

struct TurnCase {
  const char* name;
  double a, b;
  std::uint8_t before;
  std::uint32_t state;
  bool redraw;
  double noise;
  std::uint8_t after;
  int draws;
};

TEST(update_rule_test, greatest_total_ties_and_draws) {
  const double x = 63.64;
  const TurnCase cases[] = {
      {"opinion 1 wins", 5.0, 4.0, 2, 0, true, 0.0, 1, 2},
      {"opinion 2 wins", 57.735, 63.640, 1, 0, true, 0.0, 2, 2},
      {"own opinion wins: no draw", 4.0, 5.0, 2, 0, true, 0.0, 2, 0},
      {"last bit decides without a draw", x, std::nextafter(x, 100.0), 1, 0, true, 0.0, 2, 2},
      {"last bit, other way", std::nextafter(x, 100.0), x, 1, 0, true, 0.0, 1, 0},
      // From state 0 the tie draw RandBelow(2) sees state 1: 0, opinion 1.
      {"tie drawn to opinion 1 keeps the cell", 0.0, 0.0, 1, 0, true, 0.0, 1, 1},
      {"tie drawn to opinion 1 changes the cell", 3.5, 3.5, 2, 0, true, 0.0, 1, 3},
      // A state whose next step has the top bit set: RandBelow(2) gives 1.
      {"tie drawn to opinion 2", 0.0, 0.0, 1, 134775814u, false, 0.0, 2, 1},
      {"change without new strengths", 1.0, 2.0, 1, 0, false, 0.0, 2, 0},
      // Noise: one RandReal r, then opinion 1 where e^0 > r (e^0 + e^-1),
      // i.e. r < 0.731. From 2259703603 r is 0.875, from 2796574515 0.5.
      {"noise lets the lower total win", 5.0, 4.0, 1, 2259703603u, true, 1.0, 2, 3},
      {"noise keeps the greater total on a low draw", 5.0, 4.0, 2, 0, true, 1.0, 1, 3},
      {"noise on equal totals: no tie draw, a running sum equal to r * sum is not past it", 3.5,
       3.5, 2, 2796574515u, false, 1.0, 2, 1},
      {"tiny noise: a far lower total has weight 0", 2.0, 1.0, 2, 2259703603u, false, 1e-9, 1, 1},
  };
  for (const TurnCase& c : cases) {
    SCOPED_TRACE(c.name);
    FixedClock clock(c.state);
    RandomSource random(clock);
    random.ReseedFromClock();
    const RandomSource before = random;
    RandomSource replay = random;
    ModelState m(40);
    m.OpinionCount = 2;
    m.PopulationGrid.At(3, 4) = {c.before, 11, 22};
    FixedTotals impact(c.a, c.b);
    std::int32_t changes = 7;
    UpdateOpinion(m, impact, random, {c.redraw, c.noise}, 3, 4, changes);

    EXPECT_EQ(impact.calls, 1);
    const Cell& cell = m.PopulationGrid.At(3, 4);
    EXPECT_EQ(cell.Opinion, c.after);
    EXPECT_EQ(changes, c.before == c.after ? 7 : 8);
    // Replay the draws: a noise or tie draw first, then the two strengths.
    if (c.noise > 0.0) {
      replay.RandReal();
    } else if (c.a == c.b) {
      replay.RandBelow(2);
    }
    if (c.before != c.after && c.redraw) {
      EXPECT_EQ(cell.Persuasiveness, replay.RandBelow(kStrengthValues))
          << "persuasiveness drawn first";
      EXPECT_EQ(cell.Supportiveness, replay.RandBelow(kStrengthValues));
    } else {
      EXPECT_EQ(cell.Persuasiveness, 11);
      EXPECT_EQ(cell.Supportiveness, 22);
    }
    EXPECT_EQ(DrawsBetween(before, random.RandomState), c.draws);
    EXPECT_EQ(random.RandomState, replay.RandomState);
    for (int u = 1; u <= 40; ++u) {
      for (int v = 1; v <= 40; ++v) {
        if (u != 3 || v != 4) {
          EXPECT_EQ(m.PopulationGrid.At(u, v), Cell{}) << "only the cell is written";
        }
      }
    }
  }
}

}  // namespace
}  // namespace impactsim
