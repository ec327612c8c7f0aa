#pragma once
// std::from_chars and std::to_chars for doubles, where the standard library
// has them; the same results by the C library's correctly rounded strtod and
// printf where it does not (the web edition's library). Every setting's
// real value is read and written through these two.

#include <charconv>

namespace impactsim {

// std::from_chars(first, last, value, std::chars_format::general): a real
// in plain or exponent notation; value is left as it was unless one is read.
std::from_chars_result RealFromChars(const char* first, const char* last, double& value);

// std::to_chars(first, last, value, std::chars_format::fixed): the shortest
// digits that read back as the same double, in plain notation ("0.00001").
std::to_chars_result RealToFixedChars(char* first, char* last, double value);

// The same two by the C library, which the two above use where the
// standard library lacks them; here for the tests to compare with it.
std::from_chars_result RealFromCharsByC(const char* first, const char* last, double& value);
std::to_chars_result RealToFixedCharsByC(char* first, char* last, double value);

}  // namespace impactsim
