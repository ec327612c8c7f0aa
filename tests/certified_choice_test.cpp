// The bound of certified turns against sums built to round as badly as
// recursive summation can: each term of one opinion rounds its scan-order
// total up by nearly half a unit in the last place, each term of the other
// rounds it down, while the running totals add the same terms in another
// order and come out near the exact sums.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "impact/certified_choice.h"

namespace impactsim {
namespace {

constexpr double kUp = 0x1p-53 + 0x1p-63;    // above half an ulp of [1, 2): rounds up
constexpr double kDown = 0x1p-53 - 0x1p-63;  // below it: rounds down

struct Totals {
  double scan = 0.0;     // left to right, as the per-turn code adds
  double running = 0.0;  // right to left, as a running total may
};

Totals SumBothWays(const std::vector<double>& terms) {
  Totals t;
  for (const double q : terms) t.scan += q;
  for (auto q = terms.rbegin(); q != terms.rend(); ++q) t.running += *q;
  return t;
}

// A head term, then m - 1 small terms.
std::vector<double> Terms(double head, double small, int m) {
  std::vector<double> terms{head};
  terms.resize(static_cast<std::size_t>(m), small);
  return terms;
}

struct Case {
  int m;               // terms of each opinion
  double headStart;    // opinion 2's head term, above 1, in units of 2^-52
  bool expectCertain;  // the gap lies far outside the bound
};

TEST(certified_choice_test, names_only_what_the_scan_order_would) {
  const Case cases[] = {
      // Opinion 2 starts 3m/4 units ahead and rounds down; opinion 1 rounds
      // up past it in scan order: the running totals point the wrong way by
      // more than half the bound, so certifying needs all of it.
      {16, 12, false},
      {281, 210, false},
      {400, 300, false},
      {1370, 1027, false},
      // Gaps far outside the bound are certified.
      {281, 4 * 281, true},
      {1370, 4 * 1370, true},
  };
  for (const Case& c : cases) {
    for (const bool summationM : {false, true}) {
      for (const bool swapped : {false, true}) {
        const Totals up = SumBothWays(Terms(1.0, kUp, c.m));
        const Totals down = SumBothWays(Terms(1.0 + c.headStart * 0x1p-52, kDown, c.m));
        const Totals& first = swapped ? down : up;
        const Totals& second = swapped ? up : down;
        // The per-turn code's pick from its finished impacts; 0 on a tie.
        const double root = std::sqrt(static_cast<double>(c.m));
        const double i1 = summationM ? first.scan : first.scan / root;
        const double i2 = summationM ? second.scan : second.scan / root;
        const int perTurn = i1 == i2 ? 0 : i1 > i2 ? 1 : 2;
        // Every total is at most M.
        const double greatest =
            std::max({up.scan, up.running, down.scan, down.running}) + 4 * 0x1p-52;
        const double halfWidth = CertifiedHalfWidth(c.m, c.m, greatest);
        const int certain = CertainGreatestOfTwo({first.running, c.m}, {second.running, c.m},
                                                 halfWidth, summationM);
        SCOPED_TRACE(::testing::Message()
                     << "m " << c.m << " summation " << summationM << " swapped " << swapped);
        ASSERT_NE(perTurn, 0);
        if (certain != 0 || c.expectCertain) {
          EXPECT_EQ(certain, perTurn);
        }
        // Each scan-order total lies inside its interval.
        EXPECT_LE(std::abs(up.scan - up.running), halfWidth);
        EXPECT_LE(std::abs(down.scan - down.running), halfWidth);
      }
    }
  }
}

TEST(certified_choice_test, no_sources_means_exactly_zero) {
  // A residue left in a running total of an opinion without sources must
  // not count: the per-turn code's impact is +0.0 there.
  EXPECT_EQ(CertainGreatestOfTwo({1e-300, 0}, {1e-300, 0}, 0.0, false), 0);
  EXPECT_EQ(CertainGreatestOfTwo({1e-3, 0}, {1e-300, 1}, 1e-10, false), 0);
  EXPECT_EQ(CertainGreatestOfTwo({1e-3, 0}, {1.0, 1}, 1e-10, true), 2);
}

}  // namespace
}  // namespace impactsim
