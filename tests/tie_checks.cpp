// Runs built so that the impacts of the two opinions tie exactly, or nearly,
// at many turns: there the certified turns must leave the turn to the
// per-turn code, which draws among exact ties as the reference does.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "model/start_population.h"
#include "programs/programs.h"
#include "tests/kernel_checks.h"
#include "tests/reference/reference_programs.h"

namespace impactsim::testing {

namespace {

enum class Pattern { Seeded, Checkerboard, Halves, Stripes };

// Opinion of cell [x, y] (1-based) of a start grid.
std::uint8_t OpinionAt(Pattern pattern, int side, int x, int y) {
  switch (pattern) {
    case Pattern::Checkerboard:
      return static_cast<std::uint8_t>(1 + (x + y) % 2);
    case Pattern::Halves:
      return x <= side / 2 ? 1 : 2;
    case Pattern::Stripes:
      return static_cast<std::uint8_t>(1 + (y / 2) % 2);
    case Pattern::Seeded:
      break;
  }
  return 0;
}

struct TieCase {
  bool halvorn;
  Pattern pattern;
  DistanceRule distance;
  bool edge, removeSelf, summationM, randomSeq;
  std::uint8_t strength;  // every strength, equal
  std::int32_t rounds;
};

RunSettings SettingsOf(const TieCase& c) {
  const ProgramProfile& program = c.halvorn ? HalvornProgram() : KestaneProgram();
  RunSettings s = program.Defaults;
  s.Rounds = c.rounds;
  s.Distance = c.distance;
  s.Edge = c.halvorn && c.edge;
  s.RemoveSelf = c.removeSelf;
  s.SummationM = c.summationM;
  s.RandomSeq = c.randomSeq;
  s.Strengths = {StrengthDraw::Equal, c.strength};
  if (c.pattern != Pattern::Seeded) {
    auto start = std::make_shared<StartPopulation>();
    start->Side = program.GridSide;
    for (int y = 1; y <= start->Side; ++y) {
      for (int x = 1; x <= start->Side; ++x) {
        start->Opinions.push_back(OpinionAt(c.pattern, start->Side, x, y));
      }
    }
    s.Start = start;
  }
  return s;
}

}  // namespace

void CheckTieBuiltRuns() {
  using enum DistancePar;
  using enum Pattern;
  const DistanceRule none = DistanceRule::OfPower(0.0);  // every source alike
  const TieCase cases[] = {
      // halvorn, pattern, distance, edge, remove self, summation, random seq,
      // strength, rounds
      {true, Checkerboard, Nb, true, false, false, false, 50, 12},
      {true, Checkerboard, none, false, false, false, true, 50, 12},
      {true, Halves, Two, true, true, false, false, 100, 12},
      {true, Stripes, Nb, false, false, true, false, 30, 12},
      {true, Seeded, none, true, false, false, true, 40, 12},
      {true, Seeded, Nb, true, true, true, false, 1, 12},
      {false, Halves, none, false, false, false, false, 50, 12},
      {false, Checkerboard, Two, false, false, false, true, 50, 12},
      {false, Halves, Nb, false, false, true, true, 7, 12},
      {false, Stripes, Three, false, false, false, false, 100, 12},
  };
  std::int64_t certain = 0, fallback = 0;
  for (const TieCase& c : cases) {
    const RunSettings s = SettingsOf(c);
    const CertifiedCounts counts =
        c.halvorn
            ? ExpectSameRun(HalvornProgram(), reference::ReferenceHalvornProgram(), s, 4'000'037, 1)
            : ExpectSameRun(KestaneProgram(), reference::ReferenceKestaneProgram(), s, 4'000'037,
                            1);
    certain += counts.certain;
    fallback += counts.fallback;
    if (::testing::Test::HasFailure()) return;
  }
  // Both paths were taken, many times.
  EXPECT_GT(certain, 1000);
  EXPECT_GT(fallback, 1000);
}

}  // namespace impactsim::testing
