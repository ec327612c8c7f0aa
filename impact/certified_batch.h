#pragma once
// CertainGreatestOfTwo (impact/certified_choice.h) for many targets at once.

#include <cstddef>
#include <cstdint>

namespace impactsim {

// Per target: each opinion's running total and number of sources (a whole
// number), as the target reads them.
struct BatchTotals {
  const double* first = nullptr;
  const double* second = nullptr;
  const double* firstSources = nullptr;
  const double* secondSources = nullptr;
};

// What certain[t] holds where a target's values are so small that only
// CertainGreatestByDivision may answer for it.
inline constexpr std::uint8_t kCertainByDivision = 0xff;

// certain[t]: CertainGreatestOfTwo's answer for target t, or
// kCertainByDivision.
void CertainGreatestBatch(const BatchTotals& in, std::size_t count, double halfWidth,
                          bool summationM, std::uint8_t* certain);

}  // namespace impactsim
