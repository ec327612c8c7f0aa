// The engine's impact models against the plain reference transcriptions,
// bit for bit: every single turn's per-turn code in every setting, and the
// round kernels on the kernel in use for a few settings each (every kernel
// and every setting: kernel_reference_test, "ctest -L kernels").

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "impact/round_kernels.h"
#include "programs/programs.h"
#include "tests/kernel_checks.h"
#include "tests/prepared_population.h"
#include "tests/reference/reference_impact.h"

namespace impactsim::testing {
namespace {

// Target coordinates on both sides of every switch between the engine's
// inner-cell path and its border paths (reach 1, 8 and 17), plus the borders.
constexpr int kRingCoordinates[] = {1, 2, 3, 8, 9, 17, 18, 20, 23, 24, 32, 33, 39, 40};

// Positions in the neighbourhood (self excluded) for "nb", the default scope
// and Wide Scope.
int RingNeighbourhoodSize(const RunSettings& s) {
  if (s.Distance == DistancePar::Nb) return 4;
  return s.WideScope ? 980 : 240;
}

TEST(ReferenceRingImpact, EveryTurnMatchesTheEngineForEverySetting) {
  int combination = 0;
  for (DistancePar distance : kAllDistances) {
    for (int flags = 0; flags < 32; ++flags, ++combination) {
      RunSettings s = HalvornProgram().Defaults;
      s.Distance = distance;
      s.Edge = (flags & 1) != 0;
      s.WideScope = (flags & 2) != 0;
      s.RemoveSelf = (flags & 4) != 0;
      s.SummationM = (flags & 8) != 0;
      s.RandomSeq = (flags & 16) != 0;
      s.InitialShare = kInitialDistItems[static_cast<std::size_t>(combination % 4)];
      const std::string context = Describe(s);
      PreparedPopulation population(
          HalvornProgram(), reference::MakeReferenceRingImpact(), s,
          1'000'003u * static_cast<std::uint32_t>(combination + 1) % kMillisecondsPerDay);

      const int expected = RingNeighbourhoodSize(s) + (s.RemoveSelf ? 0 : 1);
      for (int x : kRingCoordinates) {
        for (int y : kRingCoordinates) {
          const int total = population.ExpectSameImpact(x, y, context);
          // On the torus, and away from a wall, the whole neighbourhood counts.
          const bool inner = x >= 18 && x <= 23 && y >= 18 && y <= 23;
          if (!s.Edge || inner) {
            ASSERT_EQ(total, expected) << context << " cell [" << x << ", " << y << "]";
          } else if (x == 1 && y == 1) {
            ASSERT_LT(total, expected) << context;
          }
        }
      }
      if (HasFailure()) return;
    }
  }
}

TEST(ReferenceTorusImpact, EveryTurnMatchesTheEngineForEverySetting) {
  int combination = 0;
  for (DistancePar distance : kAllDistances) {
    for (int flags = 0; flags < 4; ++flags, ++combination) {
      RunSettings s = KestaneProgram().Defaults;
      s.Distance = distance;
      s.SummationM = (flags & 1) != 0;
      s.RandomSeq = (flags & 2) != 0;
      s.InitialShare = kInitialDistItems[static_cast<std::size_t>(combination % 4)];
      const std::string context = Describe(s);
      PreparedPopulation population(KestaneProgram(), reference::MakeReferenceTorusImpact(), s,
                                    7'654'321u + 99'991u * static_cast<std::uint32_t>(combination));
      for (int x = 1; x <= population.Side(); ++x) {
        for (int y = 1; y <= population.Side(); ++y) {
          ASSERT_EQ(population.ExpectSameImpact(x, y, context), 400) << context;
        }
      }
      if (HasFailure()) return;
    }
  }
}

// On the kernel this processor would choose: every fifth setting
// combination, and every fourth halvorn run and every second kestane run,
// simultaneous and sequential among them.
constexpr int kStep = 5;

TEST(ReferenceKernelInUse, RoundsMatchTurnByTurn) {
  CheckRingRounds(ChosenRoundKernel(), kStep);
  CheckTorusRounds(ChosenRoundKernel(), kStep);
  CheckRoundsAfterFewChanges(ChosenRoundKernel(), 1);  // eight cases, each different
}

TEST(ReferenceKernelInUse, ManyOpinionPathMatchesTheKernels) {
  CheckManyOpinionPath(ChosenRoundKernel(), kStep);
}

TEST(ReferenceKernelInUse, TurnsWorkedOutAheadMatchTurnByTurn) {
  CheckRingTurnsAhead(ChosenRoundKernel(), kStep);
  CheckTorusTurnsAhead(ChosenRoundKernel(), kStep);
}

TEST(ReferenceKernelInUse, OtherSidesAndScopesMatchTurnByTurn) {
  CheckRingSides(ChosenRoundKernel(), 1);
  CheckTorusSides(ChosenRoundKernel(), 1);
}

TEST(ReferenceKernelInUse, TieBuiltRunsMatchTheReferencePrograms) {
  CheckTieBuiltRuns();
}

TEST(ReferenceKernelInUse, RunsMatchTheReferencePrograms) {
  CheckHalvornRuns(ChosenRoundKernel(), 4);
  CheckKestaneRuns(ChosenRoundKernel(), 2);
}

}  // namespace
}  // namespace impactsim::testing
