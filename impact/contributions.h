#pragma once
// Per-turn bookkeeping shared by the impact models: a running total and a
// source count for each opinion in play (two, or any number); and how
// distance divides a source's strength.

#include <array>
#include <cmath>
#include <cstdint>

#include "model/grid.h"
#include "model/portable_math.h"
#include "model/run_settings.h"

namespace impactsim {

// Per opinion number: the weight of a quotient in each of the two totals of
// OpinionTotals, and the step of its two source counts, packed as the low
// and high halves of one word.
struct OpinionWeights {
  std::array<double, 256> first{};
  std::array<double, 256> second{};
  std::array<std::uint64_t, 256> count{};
};
inline constexpr OpinionWeights kOpinionWeights = [] {
  OpinionWeights w;
  w.first[1] = 1.0;
  w.second[2] = 1.0;
  w.count[1] = 1;
  w.count[2] = std::uint64_t{1} << 32;
  return w;
}();

// The totals of one turn, kept in registers while the sources are scanned.
//
// Each source's quotient is added to the total of its opinion, in scan
// order, exactly as a plain left-to-right sum would add it. To avoid a branch
// on the source's opinion, both totals take a step: each adds q times a
// weight looked up by opinion, 1.0 for its own opinion and 0.0 otherwise.
// For a finite q >= 0 the products are exactly q and +0.0, and adding +0.0
// to a total that is +0.0 or positive returns it unchanged, bit for bit, so
// the totals are those of the plain sums. The two totals are independent
// chains of additions that the processor overlaps; the products are off
// those chains.
struct OpinionTotals {
  double first = 0.0;
  double second = 0.0;
  std::uint64_t counts = 0;

  // Counts q for opinion 1 or 2; any other opinion number counts nowhere.
  void Add(std::uint8_t opinion, double q) {
    first += q * kOpinionWeights.first[opinion];
    second += q * kOpinionWeights.second[opinion];
    counts += kOpinionWeights.count[opinion];
  }

  // Adds the totals onto impact[1] and impact[2] (which hold 0.0), records
  // the source counts, and divides each total by the root of its count
  // unless the totals are plain sums.
  void Finish(bool summationM, ImpactVector& impact, SourceCount& sources) const {
    const auto firstCount = static_cast<std::int32_t>(counts & 0xffffffffu);
    const auto secondCount = static_cast<std::int32_t>(counts >> 32);
    double t1 = impact[1] + first;
    double t2 = impact[2] + second;
    if (!summationM) {
      if (firstCount > 0) t1 = t1 / std::sqrt(static_cast<double>(firstCount));
      if (secondCount > 0) t2 = t2 / std::sqrt(static_cast<double>(secondCount));
    }
    impact[1] = t1;
    impact[2] = t2;
    sources[1] = firstCount;
    sources[2] = secondCount;
  }
};

// The totals of one turn for any number of opinions (2..kMaxOpinions): each
// source's quotient added to the total of its opinion, in scan order. For
// two opinions the totals, counts and finished impacts are bit for bit those
// of OpinionTotals (which adds +0.0 where this adds nothing: the same sums).
// Opinion 0 counts nowhere.
class ManyOpinionTotals {
 public:
  explicit ManyOpinionTotals(int opinions) : opinions_(opinions) {}

  void Add(std::uint8_t opinion, double q) {
    total_[opinion] += q;
    ++count_[opinion];
  }

  // As OpinionTotals::Finish, for opinions 1..opinions.
  void Finish(bool summationM, ImpactVector& impact, SourceCount& sources) const {
    for (int o = 1; o <= opinions_; ++o) {
      double t = impact[U(o)] + total_[U(o)];
      if (!summationM && count_[U(o)] > 0) t = t / std::sqrt(static_cast<double>(count_[U(o)]));
      impact[U(o)] = t;
      sources[U(o)] = count_[U(o)];
    }
  }

 private:
  int opinions_;
  std::array<double, kMaxOpinions + 1> total_{};
  std::array<std::int32_t, kMaxOpinions + 1> count_{};
};

// d multiplied by itself, left to right, until it has `exponent` factors,
// each product rounded to double; 1 for exponent 0.
inline double DistancePower(double d, int exponent) {
  double g = 1.0;
  if (exponent >= 1) g = d;
  for (int e = 2; e <= exponent; ++e) g = g * d;
  return g;
}

// g(d), what divides the strength of a source at distance d >= 0: 1 for "nb";
// for the whole powers 0..4 (the window's items) d multiplied by itself
// (DistancePower); for any other power p, d^p rounded once (PortablePow, the
// same bits on every machine). Throws std::domain_error for a negative or
// non-finite power.
inline double DistanceDivisor(double d, const DistanceRule& rule) {
  if (rule.Nb) return 1.0;
  for (int e = 0; e <= 4; ++e) {
    if (rule.Power == e) return DistancePower(d, e);
  }
  return PortablePow(d, rule.Power);
}

}  // namespace impactsim
