#include "model/random_source.h"

#include <chrono>

namespace impactsim {

std::uint32_t SystemClock::MillisecondsOfDay() {
  using namespace std::chrono;
  const auto now = time_point_cast<milliseconds>(system_clock::now());
  const auto sinceMidnight = now - floor<days>(now);
  return static_cast<std::uint32_t>(sinceMidnight.count());
}

}  // namespace impactsim
