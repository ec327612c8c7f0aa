// Reals read and written by the C library, as the web edition's engine does
// where its standard library has no charconv for doubles: the same results
// as the standard library's here, for every text a setting may be given and
// every double a setting may hold.

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>

#include "sweep/real_charconv.h"

namespace impactsim {
namespace {

constexpr double kUntouched = -123.25;

struct Read {
  std::errc Error;
  std::ptrdiff_t Used;
  std::uint64_t Bits;  // of the value, kUntouched unless one is read
};

Read ReadWith(std::from_chars_result (*read)(const char*, const char*, double&),
              std::string_view text) {
  double value = kUntouched;
  const auto [ptr, ec] = read(text.data(), text.data() + text.size(), value);
  return {ec, ptr - text.data(), std::bit_cast<std::uint64_t>(value)};
}

std::from_chars_result Standard(const char* first, const char* last, double& value) {
  return std::from_chars(first, last, value, std::chars_format::general);
}

TEST(RealCharconv, ReadsEveryTextAsTheStandardLibrary) {
  const char* const texts[] = {
      "0",
      "2",
      "0.3",
      "0.30",
      "2.0",
      "1e-3",
      "1E+2",
      "64",
      "64.5",
      "-0",
      "-1.5",
      "1.",
      ".5",
      "-.5",
      ".",
      "-",
      "",
      "e5",
      "1e",
      "1e+",
      "1e-",
      "1.5x",
      "1,5",
      "0x10",
      " 1",
      "+1",
      "inf",
      "nan",
      "1e400",
      "1e-400",
      "2.5e-320",
      "1e308",
      "0.1e1",
      "00012.50",
      "1e-5",
      "123456789012345678901234567890",
      "0.1000000000000000055511151231257827",
      "4.9406564584124654e-324",
      "2.2250738585072014e-308",
      "17,10",
  };
  for (const char* text : texts) {
    const Read expected = ReadWith(Standard, text);
    const Read got = ReadWith(RealFromCharsByC, text);
    EXPECT_EQ(got.Error, expected.Error) << text;
    EXPECT_EQ(got.Used, expected.Used) << text;
    EXPECT_EQ(got.Bits, expected.Bits) << text;
  }
}

std::string Written(std::to_chars_result (*write)(char*, char*, double), double value) {
  std::array<char, 400> text{};
  const auto [end, ec] = write(text.data(), text.data() + text.size(), value);
  return ec == std::errc() ? std::string(text.data(), end) : "error";
}

std::to_chars_result StandardFixed(char* first, char* last, double value) {
  return std::to_chars(first, last, value, std::chars_format::fixed);
}

TEST(RealCharconv, WritesEveryDoubleAsTheStandardLibrary) {
  const double values[] = {0.0,    -0.0,   0.3,  2.0,     64.0,    0.1 + 0.2, 1e-5,
                           1e-300, 5e-324, 1e21, 1.5e300, 123.456, -2.5,      1.0 / 3,
                           10.0,   100.0,  1e-3, 19.0,    0.00001, 1e22,      9007199254740993.0};
  for (const double value : values) {
    EXPECT_EQ(Written(RealToFixedCharsByC, value), Written(StandardFixed, value)) << value;
  }
  using limits = std::numeric_limits<double>;
  for (const double value : {limits::infinity(), -limits::infinity(), limits::quiet_NaN(),
                             -limits::quiet_NaN(), limits::max(), limits::denorm_min()}) {
    EXPECT_EQ(Written(RealToFixedCharsByC, value), Written(StandardFixed, value)) << value;
  }
  // Doubles of every magnitude a setting may hold, from their bits.
  std::uint64_t state = 88172645463325252u;
  for (int i = 0; i < 20000; ++i) {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    const double value = std::ldexp(std::bit_cast<double>((state >> 12) | 0x3ff0000000000000u),
                                    static_cast<int>(state % 121) - 60);
    ASSERT_EQ(Written(RealToFixedCharsByC, value), Written(StandardFixed, value)) << value;
  }
}

}  // namespace
}  // namespace impactsim
