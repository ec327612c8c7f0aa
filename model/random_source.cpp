#include "model/random_source.h"

#include <chrono>

namespace impactsim {

std::uint32_t SystemClock::MillisecondsOfDay() {
  using namespace std::chrono;
  const auto now = time_point_cast<milliseconds>(system_clock::now());
  const auto sinceMidnight = now - floor<days>(now);
  return static_cast<std::uint32_t>(sinceMidnight.count());
}

namespace {

constexpr std::uint32_t kMultiplier = 134775813u;
constexpr int kApart = 8;

// The recurrence applied kApart times at once: state * A + C.
struct Jump {
  std::uint32_t A = 1;
  std::uint32_t C = 0;
};
constexpr Jump kJump = [] {
  Jump j;
  for (int i = 0; i < kApart; ++i) {
    j.A = j.A * kMultiplier;
    j.C = j.C * kMultiplier + 1u;
  }
  return j;
}();

}  // namespace

void RandomSource::FillBelow(std::int32_t n, std::int32_t* out, std::size_t count) {
  const auto range = static_cast<std::uint64_t>(static_cast<std::uint32_t>(n));
  std::size_t done = 0;
  if (count >= kApart) {
    // lane[i]: the state of draw done + i.
    std::uint32_t lane[kApart];
    std::uint32_t state = RandomState;
    for (std::uint32_t& l : lane) {
      state = state * kMultiplier + 1u;
      l = state;
    }
    for (; done + kApart <= count; done += kApart) {
      RandomState = lane[kApart - 1];  // the state of the block's last draw
      for (int i = 0; i < kApart; ++i) {
        out[done + static_cast<std::size_t>(i)] =
            static_cast<std::int32_t>((range * lane[i]) >> 32);
        lane[i] = lane[i] * kJump.A + kJump.C;
      }
    }
  }
  for (; done < count; ++done) out[done] = RandBelow(n);
}

}  // namespace impactsim
