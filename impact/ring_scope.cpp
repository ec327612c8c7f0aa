// The ring neighbourhood's geometry: the scan order of its positions, the
// divisor of the target's own voice and how far a scope reaches.

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "impact/contributions.h"
#include "impact/ring_impact.h"

namespace impactsim {

std::vector<RingOffset> RingScanOrder(int radius) {
  struct Side {
    int startX, startY, stepX, stepY;
  };
  std::vector<RingOffset> order;
  order.reserve(static_cast<std::size_t>(2 * radius * (radius + 1)));
  for (int i = 1; i <= radius; ++i) {
    const Side sides[4] = {{-i, 0, +1, +1}, {0, +i, +1, -1}, {+i, 0, -1, -1}, {0, -i, -1, +1}};
    for (const Side& s : sides) {
      for (int k = 0; k < i; ++k) {
        const int dx = s.startX + k * s.stepX;
        const int dy = s.startY + k * s.stepY;
        const int ax = std::abs(dx) + 1;
        const int ay = std::abs(dy) + 1;
        order.push_back(
            {static_cast<std::int8_t>(dx), static_cast<std::int8_t>(dy), ax * ax + ay * ay});
      }
    }
  }
  return order;
}

double RingSelfDivisor(const DistanceRule& distance) {
  return DistanceDivisor(std::sqrt(2.0), distance);
}

int RingReach(const RingScope& scope, const DistanceRule& distance) {
  // Along an axis the nearest position at offset a is (a, 0), on ring a.
  const int radius = distance.Nb ? std::min<int>(scope.Radius, 1) : scope.Radius;
  for (int a = radius; a >= 1; --a) {
    if (std::sqrt(static_cast<double>((a + 1) * (a + 1) + 1)) <= scope.Distance) return a;
  }
  return 0;
}

}  // namespace impactsim
