#include "sweep/real_charconv.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>

namespace impactsim {

std::from_chars_result RealFromChars(const char* first, const char* last, double& value) {
#if defined(__cpp_lib_to_chars)
  return std::from_chars(first, last, value, std::chars_format::general);
#else
  return RealFromCharsByC(first, last, value);
#endif
}

std::to_chars_result RealToFixedChars(char* first, char* last, double value) {
#if defined(__cpp_lib_to_chars)
  return std::to_chars(first, last, value, std::chars_format::fixed);
#else
  return RealToFixedCharsByC(first, last, value);
#endif
}

namespace {

bool Digit(char c) {
  return c >= '0' && c <= '9';
}

// Whether [p, last) starts with `word`, in any case.
bool StartsWith(const char* p, const char* last, std::string_view word) {
  if (static_cast<std::size_t>(last - p) < word.size()) return false;
  for (const char c : word) {
    if ((*p++ | 0x20) != c) return false;
  }
  return true;
}

// The length of the longest prefix of [first, last) that from_chars reads in
// general format: [-]digits[.digits][(e|E)[+|-]digits], a digit somewhere
// before the exponent; 0 for none, and -1 for an infinity or a NaN, which
// strtod reads as from_chars does. No spaces, '+' or hex.
std::ptrdiff_t RealLength(const char* first, const char* last) {
  const char* p = first;
  if (p != last && *p == '-') ++p;
  if (StartsWith(p, last, "inf") || StartsWith(p, last, "nan")) return -1;
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
  return p - first;
}

// Writes `text` to [first, last), or fails with value_too_large.
std::to_chars_result Put(const std::string& text, char* first, char* last) {
  if (text.size() > static_cast<std::size_t>(last - first)) {
    return {last, std::errc::value_too_large};
  }
  for (const char c : text) *first++ = c;
  return {first, std::errc()};
}

}  // namespace

std::from_chars_result RealFromCharsByC(const char* first, const char* last, double& value) {
  const std::ptrdiff_t length = RealLength(first, last);
  if (length == 0) return {first, std::errc::invalid_argument};
  const std::string text =
      length > 0 ? std::string(first, static_cast<std::size_t>(length)) : std::string(first, last);
  char* end = nullptr;
  errno = 0;
  const double read = std::strtod(text.c_str(), &end);
  const char* const ptr = first + (end - text.c_str());
  // Out of range: too large, or too small to be told from zero; a
  // subnormal value is read.
  if (errno == ERANGE && (read == 0.0 || std::isinf(read))) {
    return {ptr, std::errc::result_out_of_range};
  }
  value = read;
  return {ptr, std::errc()};
}

std::to_chars_result RealToFixedCharsByC(char* first, char* last, double value) {
  if (std::isnan(value)) return Put(std::signbit(value) ? "-nan" : "nan", first, last);
  if (std::isinf(value)) return Put(value < 0 ? "-inf" : "inf", first, last);
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
    // A whole number: every digit of its exact value, as to_chars writes it.
    const int size = std::snprintf(nullptr, 0, "%.0f", value);
    fixed.resize(static_cast<std::size_t>(size) + 1);
    std::snprintf(fixed.data(), fixed.size(), "%.0f", value);
    fixed.pop_back();
    sign.clear();
  } else if (exponent >= 0) {
    const auto point = static_cast<std::size_t>(exponent + 1);
    fixed = digits.substr(0, point) + "." + digits.substr(point);
  } else {
    fixed = "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  }
  return Put(sign + fixed, first, last);
}

}  // namespace impactsim
