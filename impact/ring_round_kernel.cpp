// The round kernel of the ring model, compiled once per instruction set
// (ROUND_TARGET names the namespace). Plain C++: the compiler spreads
// the lanes over vector registers where the instruction set allows, and each
// lane's additions stay in scan order whatever it does, as floating-point
// additions are never reordered (no fast-math, no contraction).

#ifndef ROUND_TARGET
#error "ROUND_TARGET must name the instruction set"
#endif

#include <cmath>

#include "impact/ring_round.h"

namespace impactsim::ring_round::ROUND_TARGET {

namespace {

using namespace round_lanes;
static_assert(K <= kLanes, "the padding covers at most kLanes lanes");

// q[index] for every lane. Lane by lane: on the processors measured, the
// gather instructions were slower than as many plain loads.
Doubles Gather(const double* q, Integers index) {
  Doubles v;
  for (int k = 0; k < K; ++k) v[k] = q[index[k]];
  return v;
}

// The totals of up to K targets (cells[0..lanes-1], 0-based cell numbers),
// written to out entries slot[0..lanes-1]. kRow: the targets are
// neighbouring cells of a row, so each source's cells lie side by side.
template <bool kRow>
void Targets(const Input& in, const std::int32_t* cells, const std::int32_t* slot, int lanes,
             const Output& out) {
  const Doubles zero = {};
  Integers own = {}, base = {};
  Doubles first = {}, second = {};
  Integers count1 = {}, count2 = {};
  for (int k = 0; k < K; ++k) {
    const int cell = cells[k < lanes ? k : 0];
    base[k] = (cell / in.side + in.pad) * in.stride + cell % in.side + in.pad;
    own[k] = in.ownOpinion[cell];
    if (!in.removeSelf) {
      const double v = in.self[in.ownSupportiveness[cell]];
      // Each total starts at +0.0, so adding v or +0.0 to it is exact.
      first[k] = 0.0 + (own[k] == 1 ? v : 0.0);
      second[k] = 0.0 + (own[k] == 2 ? v : 0.0);
      count1[k] = own[k] == 1 ? 1 : 0;
      count2[k] = own[k] == 2 ? 1 : 0;
    }
  }
  const Integers ownIs1 = own == 1;
  for (int i = 0; i < in.sources; ++i) {
    Integers opinion, for1, for2;
    if constexpr (kRow) {
      const long long at = base[0] + in.delta[i];
      for (int k = 0; k < K; ++k) {
        opinion[k] = in.opinion[at + k];
        for1[k] = in.strengthFor1[at + k];
        for2[k] = in.strengthFor2[at + k];
      }
    } else {
      const Integers at = base + in.delta[i];
      for (int k = 0; k < K; ++k) {
        opinion[k] = in.opinion[at[k]];
        for1[k] = in.strengthFor1[at[k]];
        for2[k] = in.strengthFor2[at[k]];
      }
    }
    // The strength each source acts with on its lane's target.
    const Integers strength = ownIs1 ? for1 : for2;
    const Doubles v = Gather(in.quotient + in.row[i], strength);
    const Integers is1 = opinion == 1;  // all ones (-1) or 0 per lane
    const Integers is2 = opinion == 2;
    // Adding +0.0 leaves a total of +0.0 or more unchanged, bit for bit.
    first += is1 ? v : zero;
    second += is2 ? v : zero;
    count1 -= is1;
    count2 -= is2;
  }
  for (int k = 0; k < lanes; ++k) {
    double t1 = 0.0 + first[k];
    double t2 = 0.0 + second[k];
    if (!in.plainSums) {
      if (count1[k] > 0) t1 = t1 / std::sqrt(static_cast<double>(count1[k]));
      if (count2[k] > 0) t2 = t2 / std::sqrt(static_cast<double>(count2[k]));
    }
    out.first[slot[k]] = t1;
    out.second[slot[k]] = t2;
    out.firstCount[slot[k]] = static_cast<std::int32_t>(count1[k]);
    out.secondCount[slot[k]] = static_cast<std::int32_t>(count2[k]);
  }
}

}  // namespace

void Compute(const Input& in, const Output& out) {
  std::int32_t cells[K];
  for (int y = 0; y < in.side; ++y) {
    for (int x0 = 0; x0 < in.side; x0 += K) {
      const int lanes = in.side - x0 < K ? in.side - x0 : K;
      for (int k = 0; k < K; ++k) cells[k] = y * in.side + x0 + (k < lanes ? k : 0);
      Targets<true>(in, cells, cells, lanes, out);
    }
  }
}

void ComputeTargets(const Input& in, const std::int32_t* targets, int count, const Output& out) {
  std::int32_t slot[K];
  for (int j0 = 0; j0 < count; j0 += K) {
    const int lanes = count - j0 < K ? count - j0 : K;
    for (int k = 0; k < K; ++k) slot[k] = j0 + k;
    Targets<false>(in, targets + j0, slot, lanes, out);
  }
}

}  // namespace impactsim::ring_round::ROUND_TARGET
