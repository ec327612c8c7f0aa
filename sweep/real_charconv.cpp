#include "sweep/real_charconv.h"

#include <system_error>

#if !defined(__cpp_lib_to_chars)
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#endif

namespace impactsim {

#if defined(__cpp_lib_to_chars)

std::from_chars_result RealFromChars(const char* first, const char* last, double& value) {
  return std::from_chars(first, last, value, std::chars_format::general);
}

std::to_chars_result RealToFixedChars(char* first, char* last, double value) {
  return std::to_chars(first, last, value, std::chars_format::fixed);
}

#else

namespace {

bool Digit(char c) {
  return c >= '0' && c <= '9';
}

// The length of the longest prefix of [first, last) that from_chars reads in
// general format: [-]digits[.digits][(e|E)[+|-]digits], a digit somewhere
// before the exponent; 0 for none. No spaces, '+', hex, inf or nan.
std::size_t RealLength(const char* first, const char* last) {
  const char* p = first;
  if (p != last && *p == '-') ++p;
  const char* digits = p;
  while (p != last && Digit(*p)) ++p;
  std::size_t count = static_cast<std::size_t>(p - digits);
  if (p != last && *p == '.') {
    const char* fraction = ++p;
    while (p != last && Digit(*p)) ++p;
    count += static_cast<std::size_t>(p - fraction);
  }
  if (count == 0) return 0;
  if (p != last && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    if (q != last && (*q == '+' || *q == '-')) ++q;
    const char* exponent = q;
    while (q != last && Digit(*q)) ++q;
    if (q != exponent) p = q;
  }
  return static_cast<std::size_t>(p - first);
}

}  // namespace

std::from_chars_result RealFromChars(const char* first, const char* last, double& value) {
  const std::size_t length = RealLength(first, last);
  if (length == 0) return {first, std::errc::invalid_argument};
  const std::string text(first, length);
  errno = 0;
  const double read = std::strtod(text.c_str(), nullptr);
  if (errno == ERANGE) return {first + length, std::errc::result_out_of_range};
  value = read;
  return {first + length, std::errc()};
}

std::to_chars_result RealToFixedChars(char* first, char* last, double value) {
  // The fewest significant digits that read back as the value (17 always do).
  char scientific[40];
  int precision = 1;
  for (; precision < 17; ++precision) {
    std::snprintf(scientific, sizeof scientific, "%.*e", precision - 1, value);
    if (std::strtod(scientific, nullptr) == value) break;
  }
  std::snprintf(scientific, sizeof scientific, "%.*e", precision - 1, value);
  // "-d.ddde+XX" into its sign, digits and exponent, then plain notation.
  std::string text(scientific);
  const std::size_t e = text.find('e');
  const int exponent = std::atoi(text.c_str() + e + 1);
  std::string sign = text[0] == '-' ? "-" : "";
  std::string digits;
  for (std::size_t i = sign.size(); i < e; ++i) {
    if (Digit(text[i])) digits += text[i];
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  const int count = static_cast<int>(digits.size());
  std::string fixed;
  if (exponent >= count - 1) {
    fixed = digits + std::string(static_cast<std::size_t>(exponent - (count - 1)), '0');
  } else if (exponent >= 0) {
    const auto point = static_cast<std::size_t>(exponent + 1);
    fixed = digits.substr(0, point) + "." + digits.substr(point);
  } else {
    fixed = "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  }
  fixed = sign + fixed;
  if (fixed.size() > static_cast<std::size_t>(last - first)) {
    return {last, std::errc::value_too_large};
  }
  for (const char c : fixed) *first++ = c;
  return {first, std::errc()};
}

#endif

}  // namespace impactsim
