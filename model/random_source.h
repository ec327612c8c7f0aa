#pragma once
// The system's own pseudo-random source: a 32-bit linear congruential
// generator reseeded from the UTC time of day. Every random choice of a run
// comes from one instance, in a fixed order, so a seed fixes the whole run.

#include <cstddef>
#include <cstdint>

namespace impactsim {

// Where ReseedFromClock gets the time of day.
// Called by the random source at every reseed (twice per run, once per
// population build). Must return the milliseconds elapsed since UTC midnight,
// 0..86399999.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::uint32_t MillisecondsOfDay() = 0;
};

// The real clock: the current UTC time of day in milliseconds.
class SystemClock final : public Clock {
 public:
  std::uint32_t MillisecondsOfDay() override;
};

// A clock that always reads the same time of day; a run that reads it is
// reproducible.
class FixedClock final : public Clock {
 public:
  explicit FixedClock(std::uint32_t ms) : ms_(ms) {}
  std::uint32_t MillisecondsOfDay() override { return ms_; }
  void Set(std::uint32_t ms) { ms_ = ms; }

 private:
  std::uint32_t ms_;
};

inline constexpr std::uint32_t kMillisecondsPerDay = 86'400'000;

class RandomSource {
 public:
  explicit RandomSource(Clock& clock) : clock_(&clock) {}

  void ReseedFromClock() { RandomState = clock_->MillisecondsOfDay(); }

  // An integer in 0..n-1 from the high bits of the new state (n >= 1).
  std::int32_t RandBelow(std::int32_t n) {
    Step();
    return static_cast<std::int32_t>(
        (static_cast<std::uint64_t>(static_cast<std::uint32_t>(n)) * RandomState) >> 32);
  }

  // A double in [0, 1): the new state times 2^-32, which is exact.
  double RandReal() {
    Step();
    return static_cast<double>(RandomState) * 0x1p-32;
  }

  // count draws of RandBelow(n), in order, into out[0..count-1]: the same
  // values and the same final state as count calls, with the recurrence
  // stepped sixteen draws apart so that the draws overlap.
  void FillBelow(std::int32_t n, std::int32_t* out, std::size_t count);

  std::uint32_t RandomState = 0;

 private:
  void Step() { RandomState = RandomState * 134775813u + 1u; }

  Clock* clock_;
};

}  // namespace impactsim
