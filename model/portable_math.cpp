#include "model/portable_math.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <stdexcept>

#include "model/bit_cast.h"

// Every operation here is a basic IEEE double operation, rounded to nearest;
// the build forbids contracting a product and a sum into one fused
// operation, which would change the error-free transformations' results.

namespace impactsim {

namespace {

// The unevaluated sum hi + lo, with |lo| at most half an ulp of hi.
struct DD {
  double hi = 0.0;
  double lo = 0.0;
};

// a + b = s + e exactly.
DD TwoSum(double a, double b) {
  const double s = a + b;
  const double bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

// The same where |a| >= |b| or a is 0.
DD QuickTwoSum(double a, double b) {
  const double s = a + b;
  return {s, b - (s - a)};
}

// a = hi + lo, each of at most 26 significant bits (|a| below 2^995).
DD Split(double a) {
  const double c = 134217729.0 * a;  // 2^27 + 1
  const double hi = c - (c - a);
  return {hi, a - hi};
}

// a * b = p + e exactly.
DD TwoProduct(double a, double b) {
  const double p = a * b;
  const DD x = Split(a);
  const DD y = Split(b);
  return {p, ((x.hi * y.hi - p) + x.hi * y.lo + x.lo * y.hi) + x.lo * y.lo};
}

DD Add(DD a, DD b) {
  DD s = TwoSum(a.hi, b.hi);
  const DD t = TwoSum(a.lo, b.lo);
  s.lo += t.hi;
  s = QuickTwoSum(s.hi, s.lo);
  s.lo += t.lo;
  return QuickTwoSum(s.hi, s.lo);
}

DD Sub(DD a, DD b) {
  return Add(a, {-b.hi, -b.lo});
}

DD Mul(DD a, DD b) {
  DD p = TwoProduct(a.hi, b.hi);
  p.lo += a.hi * b.lo + a.lo * b.hi;
  return QuickTwoSum(p.hi, p.lo);
}

DD Mul(DD a, double b) {
  DD p = TwoProduct(a.hi, b);
  p.lo += a.lo * b;
  return QuickTwoSum(p.hi, p.lo);
}

// p * r + c where p * r has the sign of c or stays well below it, as in the
// steps of the series here by Horner's rule: without cancellation the plain
// sum of the low parts keeps the double-double's accuracy.
DD MulAdd(DD p, DD r, DD c) {
  const DD m = Mul(p, r);
  DD s = TwoSum(c.hi, m.hi);
  s.lo += c.lo + m.lo;
  return QuickTwoSum(s.hi, s.lo);
}

DD Div(DD a, DD b) {
  const double q1 = a.hi / b.hi;
  DD r = Sub(a, Mul(b, q1));
  const double q2 = r.hi / b.hi;
  r = Sub(r, Mul(b, q2));
  const double q3 = r.hi / b.hi;
  return Add(QuickTwoSum(q1, q2), {q3, 0.0});
}

// 2^e for -1022 <= e <= 1023.
double Pow2(int e) {
  return BitCast<double>(static_cast<std::uint64_t>(e + 1023) << 52);
}

// ln 2 as the sum of three doubles, each the rounded remainder of the ones
// before it.
constexpr double kLn2[3] = {0x1.62e42fefa39efp-1, 0x1.abc9e3b39803fp-56, 0x1.7b57a079a1934p-111};

// n ln 2 for an integer n of magnitude below 2^26.
DD TimesLn2(double n) {
  return Add(Add(TwoProduct(n, kLn2[0]), TwoProduct(n, kLn2[1])), {n * kLn2[2], 0.0});
}

constexpr int kExpTableBits = 6;
constexpr int kExpTableSize = 1 << kExpTableBits;
constexpr int kLogTerms = 22;       // |s| <= 0.1716: the next term is below 2^-110
constexpr int kExpTerms = 12;       // |r| <= 0.0055: the next term is below 2^-125
constexpr int kExpDoubleTerms = 6;  // from r^6 / 6! (below 2^-54) on, in double
constexpr int kTableExpTerms = 30;  // |r| <= 0.7: the next term is below 2^-120

struct Tables {
  std::array<DD, kTableExpTerms + 1> inverseFactorial;  // 1 / n!
  std::array<DD, kLogTerms + 1> inverseOdd;             // 1 / (2n + 1)
  std::array<DD, kExpTableSize> twoToThe;               // 2^(j / 64)
};

// The sum of r^n / n! for n = 0..terms, by Horner's rule: the terms from
// r^doubleFrom on in double precision (their sum times r^doubleFrom is far
// below the double-double's last bit where |r| is small), the others in
// double-double.
DD ExpSeries(const Tables& t, DD r, int terms, int doubleFrom) {
  DD p = t.inverseFactorial[static_cast<std::size_t>(terms)];
  if (doubleFrom <= terms) {
    double tail = p.hi;
    for (int n = terms - 1; n >= doubleFrom; --n) {
      tail = tail * r.hi + t.inverseFactorial[static_cast<std::size_t>(n)].hi;
    }
    p = {tail, 0.0};
  }
  for (int n = std::min(doubleFrom, terms) - 1; n >= 0; --n) {
    p = MulAdd(p, r, t.inverseFactorial[static_cast<std::size_t>(n)]);
  }
  return p;
}

Tables BuildTables() {
  Tables t;
  t.inverseFactorial[0] = {1.0, 0.0};
  for (std::size_t n = 1; n < t.inverseFactorial.size(); ++n) {
    t.inverseFactorial[n] = Div(t.inverseFactorial[n - 1], {static_cast<double>(n), 0.0});
  }
  for (std::size_t n = 0; n < t.inverseOdd.size(); ++n) {
    t.inverseOdd[n] = Div({1.0, 0.0}, {static_cast<double>(2 * n + 1), 0.0});
  }
  for (int j = 0; j < kExpTableSize; ++j) {
    const DD r = TimesLn2(j);
    const DD scaled = {r.hi / kExpTableSize, r.lo / kExpTableSize};  // exact
    t.twoToThe[static_cast<std::size_t>(j)] =
        ExpSeries(t, scaled, kTableExpTerms, kTableExpTerms + 1);
  }
  return t;
}

const Tables& SharedTables() {
  static const Tables tables = BuildTables();
  return tables;
}

// v * 2^k for a rounded v near 1 and k >= -1021: exact, or +infinity.
double ScaleNormal(double v, int k) {
  if (k > 1023) return v * Pow2(k - 1) * 2.0;
  return v * Pow2(k);
}

// y * 2^k rounded once to the subnormal spacing 2^-1074, for y near 1 and
// k <= -1022: the integer nearest to y * 2^(k + 1074) (below 2^53) times
// 2^-1074, which is exact.
double RoundSubnormal(DD y, int k) {
  const double scale = Pow2(k + 1074);
  const double th = y.hi * scale;  // exact: both normal, no underflow
  const double tl = y.lo * scale;
  double n = th >= 0x1p52 ? th : (th + 0x1p52) - 0x1p52;
  const double f = (th - n) + tl;  // th - n is exact
  if (f > 0.5) n += 1.0;
  if (f < -0.5) n -= 1.0;
  return n * 0x1p-1074;
}

// e^z for a double-double z, rounded once.
double ExpOf(DD z) {
  if (z.hi > 710.0) return std::numeric_limits<double>::infinity();
  if (z.hi < -746.0) return 0.0;
  const Tables& t = SharedTables();
  // z = (64k + j) ln2 / 64 + r with |r| <= ln2 / 128 (and a hair).
  constexpr double kSixtyFourOverLn2 = kExpTableSize / kLn2[0];
  const double nearest = (z.hi * kSixtyFourOverLn2 + 0x1.8p52) - 0x1.8p52;
  const DD steps = TimesLn2(nearest);
  const DD r = Sub(z, {steps.hi / kExpTableSize, steps.lo / kExpTableSize});
  const auto n = static_cast<std::int64_t>(nearest);
  const auto k = static_cast<int>(n >> kExpTableBits);  // floor(n / 64)
  const auto j = static_cast<std::size_t>(n & (kExpTableSize - 1));
  const DD y = Mul(t.twoToThe[j], ExpSeries(t, r, kExpTerms, kExpDoubleTerms));
  // y.hi is y.hi + y.lo rounded; scaling it by 2^k is exact in the normal range.
  if (k >= -1021) return ScaleNormal(y.hi, k);
  return RoundSubnormal(y, k);
}

// ln x for a finite x > 0: x = 2^k m with m in [sqrt(1/2), sqrt(2)], and
// ln m = 2 atanh(s) with s = (m - 1) / (m + 1), |s| <= 0.1716.
DD LogOf(double x) {
  int k = 0;
  if (x < 0x1p-1022) {
    x *= 0x1p54;
    k = -54;
  }
  const auto bits = BitCast<std::uint64_t>(x);
  k += static_cast<int>((bits >> 52) & 0x7ff) - 1023;
  double m = BitCast<double>((bits & ((std::uint64_t{1} << 52) - 1)) |
                             (std::uint64_t{1023} << 52));  // in [1, 2)
  if (m > 0x1.6a09e667f3bcdp0) {
    m *= 0.5;
    k += 1;
  }
  const Tables& t = SharedTables();
  const DD s = Div({m - 1.0, 0.0}, TwoSum(m, 1.0));  // m - 1 is exact
  const DD s2 = Mul(s, s);
  DD p = t.inverseOdd[kLogTerms];
  for (int n = kLogTerms - 1; n >= 0; --n)
    p = MulAdd(p, s2, t.inverseOdd[static_cast<std::size_t>(n)]);
  const DD half = Mul(s, p);
  return Add(TimesLn2(k), {2.0 * half.hi, 2.0 * half.lo});
}

}  // namespace

double PortableExp(double x) {
  if (!(x <= 0.0)) throw std::domain_error("PortableExp needs x <= 0");
  if (x == 0.0) return 1.0;  // the greatest impact's weight: no work
  return ExpOf({x, 0.0});
}

double PortablePow(double x, double y) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  if (!(x >= 0.0 && x < kInf && y >= 0.0 && y < kInf)) {
    throw std::domain_error("PortablePow needs a finite x >= 0 and a finite y >= 0");
  }
  if (x == 0.0) return y == 0.0 ? 1.0 : 0.0;
  const DD lnx = LogOf(x);
  if (lnx.hi == 0.0) return 1.0;  // x = 1
  // Far past the range (and past what Split takes): no product needed.
  const double rough = lnx.hi * y;
  if (rough > 710.0) return kInf;
  if (rough < -746.0) return 0.0;
  return ExpOf(Mul(lnx, y));
}

}  // namespace impactsim
