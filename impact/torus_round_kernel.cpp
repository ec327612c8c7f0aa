// The round kernel of the torus model, compiled once per instruction set
// (ROUND_TARGET names the namespace). The lanes are targets anywhere on the
// torus: every source is the same cell for all of them, only its distance
// differs, and each lane's additions stay in the per-turn order.

#ifndef ROUND_TARGET
#error "ROUND_TARGET must name the instruction set"
#endif

#include <cmath>

#include "impact/torus_round.h"

namespace impactsim::torus_round::ROUND_TARGET {

using namespace round_lanes;

void ComputeTargets(const Input& in, const std::int32_t* targets, int count, const Output& out) {
  const Doubles zero = {};
  for (int j0 = 0; j0 < count; j0 += K) {
    const int lanes = count - j0 < K ? count - j0 : K;
    Integers x = {}, y = {};
    Doubles first = {}, second = {};
    Integers count1 = {}, count2 = {};
    // Per lane and row v: where the row's quotients start within a column's.
    long long rowB[kSide][K];
    for (int k = 0; k < K; ++k) {
      const int cell = targets[j0 + (k < lanes ? k : 0)];
      x[k] = cell % kSide + 1;
      y[k] = cell / kSide + 1;
      for (int v = 1; v <= kSide; ++v) {
        rowB[v - 1][k] = in.fold[v - y[k] + kSide - 1] * kStrengths;
      }
      const std::uint8_t own = in.opinion[cell];
      const double v = in.self[in.supportiveness[cell]];
      // Each total starts at +0.0, so adding v or +0.0 to it is exact.
      first[k] = 0.0 + (own == 1 ? v : 0.0);
      second[k] = 0.0 + (own == 2 ? v : 0.0);
      count1[k] = own == 1 ? 1 : 0;
      count2[k] = own == 2 ? 1 : 0;
    }
    for (int u = 1; u <= kSide; ++u) {
      Integers rowA;
      for (int k = 0; k < K; ++k) {
        rowA[k] = in.fold[u - x[k] + kSide - 1] * kFolds * kStrengths;
      }
      const Integers inColumn = x == u;
      for (int v = 1; v <= kSide; ++v) {
        const int cell = (v - 1) * kSide + (u - 1);
        const std::uint8_t opinion = in.opinion[cell];
        const long long strength = in.supportiveness[cell];
        Doubles q;
        for (int k = 0; k < K; ++k) q[k] = in.quotient[rowA[k] + rowB[v - 1][k] + strength];
        // Each target is not among its own sources.
        const Integers counted = ~(inColumn & (y == v));
        const Integers is1 = opinion == 1 ? counted : Integers{};
        const Integers is2 = opinion == 2 ? counted : Integers{};
        // Adding +0.0 leaves a total of +0.0 or more unchanged, bit for bit.
        first += is1 ? q : zero;
        second += is2 ? q : zero;
        count1 -= is1;
        count2 -= is2;
      }
    }
    for (int k = 0; k < lanes; ++k) {
      double t1 = 0.0 + first[k];
      double t2 = 0.0 + second[k];
      if (!in.plainSums) {
        if (count1[k] > 0) t1 = t1 / std::sqrt(static_cast<double>(count1[k]));
        if (count2[k] > 0) t2 = t2 / std::sqrt(static_cast<double>(count2[k]));
      }
      out.first[j0 + k] = t1;
      out.second[j0 + k] = t2;
      out.firstCount[j0 + k] = static_cast<std::int32_t>(count1[k]);
      out.secondCount[j0 + k] = static_cast<std::int32_t>(count2[k]);
    }
  }
}

}  // namespace impactsim::torus_round::ROUND_TARGET
