#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

#include "impact/ring_impact.h"
#include "impact/torus_impact.h"

namespace impactsim {
namespace {

// A population of one opinion with fixed strengths, scope as a build sets it.
ModelState Uniform(int side, std::uint8_t opinion, std::uint8_t pers, std::uint8_t supp,
                   bool wide = false) {
  ModelState m(side);
  m.OpinionCount = 2;
  m.ScopeRadius = wide ? 29 : 17;
  m.ScopeDistance = wide ? 19.0 : 10.0;
  for (int x = 1; x <= side; ++x) {
    for (int y = 1; y <= side; ++y) m.PopulationGrid.At(x, y) = {opinion, pers, supp};
  }
  m.SnapshotGrid = m.PopulationGrid;
  return m;
}

struct Totals {
  ImpactVector impact{};
  SourceCount sources{};
};

Totals Compute(ImpactModel& model, ModelState& m, const RunSettings& s, int x, int y) {
  model.Prepare(s, m);
  Totals t;
  model.ComputeImpact(m, x, y, t.impact, t.sources);
  return t;
}

RunSettings Ring(DistancePar d = DistancePar::Two, bool edge = true) {
  RunSettings s;
  s.Distance = d;
  s.Edge = edge;
  return s;
}

TEST(ring_impact_test, scan_order_walks_each_ring_from_the_left_corner) {
  const std::vector<RingOffset> ring = RingScanOrder(2);
  ASSERT_EQ(ring.size(), 12u);
  const int expected[12][2] = {{-1, 0}, {0, 1}, {1, 0}, {0, -1}, {-2, 0}, {-1, 1},
                               {0, 2},  {1, 1}, {2, 0}, {1, -1}, {0, -2}, {-1, -1}};
  for (std::size_t i = 0; i < 12; ++i) {
    EXPECT_EQ(ring[i].dx, expected[i][0]) << i;
    EXPECT_EQ(ring[i].dy, expected[i][1]) << i;
  }
  EXPECT_EQ(ring[0].sumOfSquares, 5) << "offsets grow by one before squaring";
  EXPECT_EQ(RingScanOrder(17).size(), 612u);
  EXPECT_EQ(RingScanOrder(29).size(), 1740u);
  std::set<std::pair<int, int>> seen;
  for (const RingOffset& o : RingScanOrder(29)) seen.insert({o.dx, o.dy});
  EXPECT_EQ(seen.size(), 1740u) << "every position once";
}

TEST(ring_impact_test, source_counts_by_scope_and_border) {
  struct Row {
    bool wide;
    DistancePar distance;
    bool edge;
    int x, y;
    int sources;  // self not counted
  };
  const Row rows[] = {
      {false, DistancePar::Two, true, 20, 20, 240}, {false, DistancePar::Two, true, 1, 1, 68},
      {true, DistancePar::Two, true, 20, 20, 980},  {true, DistancePar::Two, true, 1, 1, 262},
      {false, DistancePar::Nb, true, 20, 20, 4},    {false, DistancePar::Nb, true, 1, 1, 2},
      {true, DistancePar::Nb, true, 40, 40, 2},     {false, DistancePar::Two, false, 1, 1, 240},
      {true, DistancePar::Zero, false, 40, 1, 980}, {false, DistancePar::Nb, false, 1, 40, 4},
  };
  for (const Row& r : rows) {
    ModelState m = Uniform(40, 1, 7, 9, r.wide);
    RingImpact model;
    const Totals t = Compute(model, m, Ring(r.distance, r.edge), r.x, r.y);
    EXPECT_EQ(t.sources[1], r.sources + 1) << r.x << "," << r.y << " wide " << r.wide;
    EXPECT_EQ(t.sources[2], 0);
    EXPECT_EQ(t.impact[2], 0.0);
  }
  // A cell on the middle of an edge keeps the half-neighbourhood on its side.
  ModelState m = Uniform(40, 1, 7, 9);
  RingImpact model;
  const Totals t = Compute(model, m, Ring(), 20, 1);
  int expected = 0;
  for (const RingOffset& o : model.Sources()) expected += o.dy >= 0 ? 1 : 0;
  EXPECT_EQ(t.sources[1], expected + 1);
  EXPECT_EQ(model.Sources().size(), 240u);
}

TEST(ring_impact_test, nb_narrows_the_scope_to_ring_one) {
  ModelState m = Uniform(40, 1, 7, 9, true);
  RingImpact model;
  model.Prepare(Ring(DistancePar::Nb), m);
  EXPECT_EQ(m.ScopeRadius, 1);
  ASSERT_EQ(model.Sources().size(), 4u);
  const int order[4][2] = {{-1, 0}, {0, 1}, {1, 0}, {0, -1}};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(model.Sources()[i].dx, order[i][0]);
    EXPECT_EQ(model.Sources()[i].dy, order[i][1]);
  }
}

TEST(ring_impact_test, worked_example_turns_on_the_averaged_impacts) {
  ModelState m = Uniform(40, 1, 0, 0);
  const int x = 10, y = 10;
  m.PopulationGrid.At(x, y) = {1, 99, 50};
  m.PopulationGrid.At(x - 1, y) = {1, 99, 40};
  m.PopulationGrid.At(x, y + 1) = {2, 30, 99};
  m.PopulationGrid.At(x + 1, y) = {2, 60, 99};
  m.PopulationGrid.At(x, y - 1) = {1, 99, 10};
  m.SnapshotGrid = m.PopulationGrid;
  RingImpact model;
  const Totals t = Compute(model, m, Ring(DistancePar::Nb), x, y);
  EXPECT_EQ(t.sources[1], 3);
  EXPECT_EQ(t.sources[2], 2);
  EXPECT_EQ(t.impact[1], 100.0 / std::sqrt(3.0));
  EXPECT_EQ(t.impact[2], 90.0 / std::sqrt(2.0));
}

TEST(ring_impact_test, self_divisors_are_powers_of_the_double_root_two) {
  const std::pair<DistancePar, double> rows[] = {
      {DistancePar::Nb, 1.0},
      {DistancePar::Zero, 1.0},
      {DistancePar::One, 1.4142135623730951},
      {DistancePar::Two, 2.0000000000000004},
      {DistancePar::Three, 2.8284271247461907},
      {DistancePar::Four, 4.000000000000001},
  };
  for (const auto& [distance, divisor] : rows) {
    EXPECT_EQ(RingSelfDivisor(distance), divisor) << int(distance);
    // The target alone in its opinion: its total is its own voice.
    ModelState m = Uniform(40, 2, 0, 0);
    m.PopulationGrid.At(20, 20) = {1, 0, 100};
    RunSettings s = Ring(distance);
    s.SummationM = true;
    RingImpact model;
    EXPECT_EQ(Compute(model, m, s, 20, 20).impact[1], 100.0 / divisor);
  }
}

TEST(ring_impact_test, contributions_follow_distance_cutoff_and_strength_rules) {
  // One source of the other opinion at a chosen offset; everyone else silent.
  struct Row {
    int dx, dy;
    bool wide;
    DistancePar distance;
    double expected;  // the source's plain contribution, or -1 if cut off
  };
  const double root5 = std::sqrt(5.0);
  const Row rows[] = {
      {1, 0, false, DistancePar::Two, 60 / 5.000000000000001},
      {1, 0, false, DistancePar::Zero, 60.0},
      {1, 0, false, DistancePar::One, 60 / root5},
      {5, 7, false, DistancePar::Zero, 60.0},
      {-7, 5, false, DistancePar::Zero, 60.0},
      {6, 7, false, DistancePar::Zero, -1},
      {8, 0, false, DistancePar::Zero, 60.0},
      {0, -9, false, DistancePar::Zero, -1},
      {17, 0, true, DistancePar::Zero, 60.0},
      {0, 18, true, DistancePar::Zero, -1},
      {2, 0, false, DistancePar::Nb, -1},
      {0, 1, false, DistancePar::Nb, 60.0},
      {3, 4, false, DistancePar::Four,
       60 / (((std::sqrt(41.0) * std::sqrt(41.0)) * std::sqrt(41.0)) * std::sqrt(41.0))},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.dx) + "," + std::to_string(r.dy));
    ModelState m = Uniform(40, 1, 0, 0, r.wide);
    m.PopulationGrid.At(20, 20) = {1, 0, 0};
    m.PopulationGrid.At(20 + r.dx, 20 + r.dy) = {2, 60, 30};
    m.SnapshotGrid = m.PopulationGrid;
    RunSettings s = Ring(r.distance, false);
    s.SummationM = true;
    RingImpact model;
    const Totals t = Compute(model, m, s, 20, 20);
    if (r.expected < 0) {
      EXPECT_EQ(t.sources[2], 0);
      EXPECT_EQ(t.impact[2], 0.0);
    } else {
      EXPECT_EQ(t.sources[2], 1);
      EXPECT_EQ(t.impact[2], r.expected) << "persuasiveness acts on the other opinion";
    }
  }
}

TEST(ring_impact_test, torus_reads_wrapped_cells_at_unwrapped_distances) {
  ModelState m = Uniform(40, 1, 0, 0);
  m.PopulationGrid.At(40, 1) = {2, 70, 10};  // left of [1, 1] across the edge
  m.PopulationGrid.At(1, 40) = {2, 30, 10};  // above [1, 1] across the edge
  m.SnapshotGrid = m.PopulationGrid;
  RunSettings s = Ring(DistancePar::One, false);
  s.SummationM = true;
  RingImpact model;
  const Totals wrapped = Compute(model, m, s, 1, 1);
  EXPECT_EQ(wrapped.sources[2], 2);
  EXPECT_EQ(wrapped.impact[2], 70 / std::sqrt(5.0) + 30 / std::sqrt(5.0));
  s.Edge = true;
  const Totals bounded = Compute(model, m, s, 1, 1);
  EXPECT_EQ(bounded.sources[2], 0) << "with edges the wrapped cells are off the grid";
}

TEST(ring_impact_test, summation_remove_self_and_update_modes) {
  ModelState m = Uniform(40, 2, 0, 0);
  const int x = 5, y = 5;
  m.PopulationGrid.At(x, y) = {1, 0, 80};
  for (auto [dx, dy] : {std::pair{-1, 0}, {0, 1}, {1, 0}, {0, -1}}) {
    m.PopulationGrid.At(x + dx, y + dy) = {1, 0, 20};
  }
  m.SnapshotGrid = m.PopulationGrid;
  RingImpact model;
  RunSettings s = Ring(DistancePar::Nb);
  EXPECT_EQ(Compute(model, m, s, x, y).impact[1], (80.0 + 20 + 20 + 20 + 20) / std::sqrt(5.0));
  s.RemoveSelf = true;
  Totals t = Compute(model, m, s, x, y);
  EXPECT_EQ(t.sources[1], 4);
  EXPECT_EQ(t.impact[1], 40.0) << "four sources: the sum is halved";
  s.SummationM = true;
  EXPECT_EQ(Compute(model, m, s, x, y).impact[1], 80.0);

  // A neighbour changed during the round: seen at once only in sequential mode.
  m.PopulationGrid.At(x - 1, y) = {2, 50, 0};
  s.RandomSeq = false;
  t = Compute(model, m, s, x, y);
  EXPECT_EQ(t.sources[1], 4);
  s.RandomSeq = true;
  t = Compute(model, m, s, x, y);
  EXPECT_EQ(t.sources[1], 3);
  EXPECT_EQ(t.impact[2], 50.0);
}

TEST(torus_impact_test, distances_fold_each_axis) {
  struct Row {
    int x, y, u, v;
    double d;
  };
  const Row rows[] = {
      {1, 1, 20, 20, std::sqrt(2.0)},
      {1, 1, 11, 1, 10.0},
      {1, 1, 12, 1, 9.0},
      {11, 11, 1, 1, 14.142135623730951},
      {11, 11, 20, 20, std::sqrt(162.0)},
      {1, 1, 2, 1, 1.0},
      {3, 4, 9, 12, 10.0},
  };
  for (const Row& r : rows) EXPECT_EQ(TorusDistance(20, r.x, r.y, r.u, r.v), r.d);
  // Every target has the same distances: 4 at 1, ..., 1 at sqrt(200).
  std::multiset<double> around;
  for (int u = 1; u <= 20; ++u) {
    for (int v = 1; v <= 20; ++v) {
      if (u != 7 || v != 13) around.insert(TorusDistance(20, 7, 13, u, v));
    }
  }
  EXPECT_EQ(around.size(), 399u);
  EXPECT_EQ(around.count(1.0), 4u);
  EXPECT_EQ(around.count(std::sqrt(5.0)), 8u);
  EXPECT_EQ(around.count(10.0), 10u);
  EXPECT_EQ(around.count(std::sqrt(200.0)), 1u);
  EXPECT_EQ(DistancePower(std::sqrt(13.0), 2), 12.999999999999998);
  EXPECT_EQ(DistancePower(std::sqrt(2.0), 2), 2.0000000000000004);
}

TEST(torus_impact_test, self_divisors_are_powers_of_the_self_distance) {
  const std::pair<DistancePar, double> rows[] = {
      {DistancePar::Nb, 1.0},
      {DistancePar::Zero, 1.0},
      {DistancePar::One, 0.84},
      {DistancePar::Two, 0.7055999999999999},
      {DistancePar::Three, 0.5927039999999999},
      {DistancePar::Four, 0.4978713599999999},  // plain double products
  };
  for (const auto& [distance, divisor] : rows) EXPECT_EQ(TorusSelfDivisor(distance), divisor);
}

TEST(torus_impact_test, everyone_is_heard_with_supportiveness) {
  ModelState m = Uniform(20, 2, 0, 0);
  m.PopulationGrid.At(5, 5) = {1, 0, 100};
  m.PopulationGrid.At(6, 5) = {1, 0, 100};  // next to it along an axis: divisor 1
  TorusImpact model;
  RunSettings s;
  s.Distance = DistancePar::Two;
  s.RandomSeq = true;
  s.SummationM = false;
  Totals t = Compute(model, m, s, 5, 5);
  EXPECT_EQ(t.sources[1], 2);
  EXPECT_EQ(t.sources[2], 398);
  EXPECT_EQ(t.impact[1], (100 / 0.7055999999999999 + 100.0) / std::sqrt(2.0));
  EXPECT_EQ(t.impact[2], 0.0) << "silent cells add zeros";

  // Persuasiveness plays no part; plain sums square the strengths.
  for (int u = 1; u <= 20; ++u) {
    for (int v = 1; v <= 20; ++v) m.PopulationGrid.At(u, v).Persuasiveness = 77;
  }
  EXPECT_EQ(Compute(model, m, s, 5, 5).impact[1], t.impact[1]);
  s.SummationM = true;
  s.Distance = DistancePar::Four;
  EXPECT_EQ(Compute(model, m, s, 5, 5).impact[1], 10000 / 0.4978713599999999 + 10000.0);

  // nb and 0 act alike: the plain average of all supportiveness.
  ModelState all = Uniform(20, 1, 0, 30);
  for (DistancePar d : {DistancePar::Nb, DistancePar::Zero}) {
    s.Distance = d;
    s.SummationM = false;
    t = Compute(model, all, s, 1, 1);
    EXPECT_EQ(t.sources[1], 400);
    EXPECT_EQ(t.sources[2], 0);
    double sum = 0;
    for (int i = 0; i < 400; ++i) sum += 30;
    EXPECT_EQ(t.impact[1], sum / 20.0);
  }
}

TEST(torus_impact_test, simultaneous_mode_reads_the_snapshot_throughout) {
  ModelState m = Uniform(20, 1, 0, 10);
  m.PopulationGrid.At(3, 3) = {2, 0, 90};  // changed earlier in the round
  m.PopulationGrid.At(1, 1) = {2, 0, 40};  // the target itself, changed in the live grid
  TorusImpact model;
  RunSettings s;
  s.Distance = DistancePar::Nb;
  s.SummationM = true;
  s.RandomSeq = false;
  Totals t = Compute(model, m, s, 1, 1);
  EXPECT_EQ(t.sources[1], 400);
  EXPECT_EQ(t.sources[2], 0);
  s.RandomSeq = true;
  t = Compute(model, m, s, 1, 1);
  EXPECT_EQ(t.sources[2], 2);
  EXPECT_EQ(t.impact[2], 40.0 * 40 + 90.0 * 90);
}

}  // namespace
}  // namespace impactsim
