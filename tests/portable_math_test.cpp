// exp and pow built from basic operations: close to the library's over the
// arguments the engine meets, exact where the result is a double, and the
// same bits as when they were first computed.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

#include "model/portable_math.h"

namespace impactsim {
namespace {

// How many doubles apart two non-negative doubles are.
std::int64_t UlpsApart(double a, double b) {
  const auto x = std::bit_cast<std::int64_t>(a);
  const auto y = std::bit_cast<std::int64_t>(b);
  return x > y ? x - y : y - x;
}

// Distances of grid offsets, sqrt(n) for n up to 2 * 400^2 (every n up to
// 2000, then a stride), to the powers a run may ask for; and e^x over the
// whole range from underflow to 1.
TEST(portable_math_test, pow_and_exp_within_one_ulp_of_the_library) {
  const double powers[] = {0.0, 1.0 / 3.0, 0.5, 1.0, 1.5, 2.0, 2.5, 2.75, 3.0, 4.0, 5.25, 8.0};
  int checked = 0;
  for (int n = 1; n <= 2 * 400 * 400; n += n < 2000 ? 7 : 997) {
    const double d = std::sqrt(static_cast<double>(n));
    for (const double p : powers) {
      ASSERT_LE(UlpsApart(PortablePow(d, p), std::pow(d, p)), 1) << "sqrt(" << n << ")^" << p;
      ++checked;
    }
  }
  for (const double d : {0.84, 0.5, 1e-310, 0.999999999, 1.000000001}) {
    for (const double p : powers) {
      ASSERT_LE(UlpsApart(PortablePow(d, p), std::pow(d, p)), 1) << d << "^" << p;
    }
  }
  for (int i = 0; i <= 3000; ++i) {
    const double x = -745.2 + i * (745.2 / 3000.0);
    ASSERT_LE(UlpsApart(PortableExp(x), std::exp(x)), 1) << "e^" << x;
    ++checked;
  }
  EXPECT_GE(checked, 6000);
}

// Exact results, the edges of the range and a few pinned bit patterns: a
// change of the algorithm that moves any bit shows here.
TEST(portable_math_test, exact_and_pinned_results) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* name;
    double x, y;  // y NaN: e^x
    double expected;
  };
  const double e = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {"x^1 = x", 0.84, 1.0, 0.84},
      {"x^1 = x, far distance", std::sqrt(319999.0), 1.0, std::sqrt(319999.0)},
      {"x^1 = x, subnormal", 0x1.8p-1070, 1.0, 0x1.8p-1070},
      {"x^0 = 1", 565.0, 0.0, 1.0},
      {"4^0.5", 4.0, 0.5, 2.0},
      {"9^1.5", 9.0, 1.5, 27.0},
      {"2^10", 2.0, 10.0, 1024.0},
      {"least subnormal", 0.5, 1074.0, 0x1p-1074},
      {"greatest power of 2", 2.0, 1023.0, 0x1p1023},
      {"past the greatest double", 2.0, 1024.0, kInf},
      {"below the least subnormal", 0.5, 1076.0, 0.0},
      {"1^y", 1.0, 1e308, 1.0},
      {"e^0", 0.0, e, 1.0},
      {"e^-0", -0.0, e, 1.0},
      {"e^-inf", -kInf, e, 0.0},
      {"e^-746", -746.0, e, 0.0},
      {"pinned sqrt(2)^2.5", std::sqrt(2.0), 2.5, 0x1.306fe0a31b716p+1},
      {"pinned 0.84^2.75", 0.84, 2.75, 0x1.3cfc06d0131dcp-1},
      {"pinned sqrt(13)^1.5", std::sqrt(13.0), 1.5, 0x1.b62a308251967p+2},
      {"pinned cube root", 0x1.1ad7bc01366b8p+9, 1.0 / 3.0, 0x1.08a6e14272168p+3},
      {"pinned e^-1", -1.0, e, 0x1.78b56362cef38p-2},
      {"pinned e^-0.125", -0.125, e, 0x1.c3d6a24ed8222p-1},
      {"pinned e^-700.5", -700.5, e, 0x1.4ff475c68ca02p-1011},
      {"pinned subnormal e^-740", -740.0, e, 0x55p-1074},
  };
  for (const Case& c : cases) {
    const double got = std::isnan(c.y) ? PortableExp(c.x) : PortablePow(c.x, c.y);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(c.expected))
        << c.name << ": " << std::hexfloat << got;
  }
}

TEST(portable_math_test, arguments_outside_the_domain_are_refused) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::pair<double, double> badPow[] = {{0.0, 1.0},  {-1.0, 2.0}, {kInf, 1.0}, {nan, 1.0},
                                              {2.0, -0.5}, {2.0, kInf}, {2.0, nan}};
  for (const auto& [x, y] : badPow)
    EXPECT_THROW(PortablePow(x, y), std::domain_error) << x << " " << y;
  for (const double x : {0x1p-1074, 0.5, kInf, nan}) {
    EXPECT_THROW(PortableExp(x), std::domain_error) << x;
  }
}

}  // namespace
}  // namespace impactsim
