// Every round kernel this processor runs against the plain reference models,
// in every setting combination the checks know: whole rounds, rounds after
// a few changes, turns worked out ahead and whole runs, bit for bit. Slower
// than the quick loop: "ctest -L kernels".

#include <gtest/gtest.h>

#include <iostream>

#include "impact/round_kernels.h"
#include "tests/kernel_checks.h"

namespace impactsim::testing {
namespace {

// Runs check(kernel, 1) on every kernel this processor runs.
void OnEveryKernel(void (*check)(const char*, int)) {
  int kernels = 0;
  for (const char* kernel : RoundKernels()) {
    if (!RoundKernelRuns(kernel)) {
      std::cout << "[ SKIPPED  ] round kernel " << kernel << ": this processor lacks it\n";
      continue;
    }
    ++kernels;
    check(kernel, 1);
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_GE(kernels, 1);
}

TEST(ReferenceEveryKernel, RingRoundsMatchTurnByTurn) {
  OnEveryKernel(CheckRingRounds);
}

TEST(ReferenceEveryKernel, RoundsAfterFewChangesMatchTurnByTurn) {
  OnEveryKernel(CheckRoundsAfterFewChanges);
}

TEST(ReferenceEveryKernel, TorusRoundsMatchTurnByTurn) {
  OnEveryKernel(CheckTorusRounds);
}

TEST(ReferenceEveryKernel, RingTurnsWorkedOutAheadMatchTurnByTurn) {
  OnEveryKernel(CheckRingTurnsAhead);
}

TEST(ReferenceEveryKernel, TorusTurnsWorkedOutAheadMatchTurnByTurn) {
  OnEveryKernel(CheckTorusTurnsAhead);
}

TEST(ReferenceEveryKernel, OtherSidesAndScopesMatchTurnByTurn) {
  OnEveryKernel(CheckRingSides);
  OnEveryKernel(CheckTorusSides);
}

TEST(ReferenceEveryKernel, ManyOpinionPathMatchesTheKernels) {
  OnEveryKernel(CheckManyOpinionPath);
}

TEST(ReferenceEveryKernel, HalvornRunsMatchTheReferenceProgram) {
  OnEveryKernel(CheckHalvornRuns);
}

TEST(ReferenceEveryKernel, KestaneRunsMatchTheReferenceProgram) {
  OnEveryKernel(CheckKestaneRuns);
}

}  // namespace
}  // namespace impactsim::testing
