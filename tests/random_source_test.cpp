#include <gtest/gtest.h>

#include <time.h>

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "model/random_source.h"

namespace impactsim {
namespace {

// Reads a scripted list of times of day, one per reseed.
class ScriptedClock final : public Clock {
 public:
  explicit ScriptedClock(std::vector<std::uint32_t> readings) : readings_(std::move(readings)) {}
  std::uint32_t MillisecondsOfDay() override { return readings_.at(next_++); }

 private:
  std::vector<std::uint32_t> readings_;
  std::size_t next_ = 0;
};

TEST(random_source_test, worked_sequence_from_state_zero) {
  FixedClock clock(0);
  struct Row {
    std::int32_t n;
    std::vector<std::int32_t> expected;
  };
  const Row rows[] = {{101, {0, 3, 86, 20}}, {1600, {0, 50, 1377, 324}}, {1, {0, 0, 0, 0}}};
  const std::uint32_t states[] = {1u, 134775814u, 3698175007u, 870078620u};
  for (const Row& row : rows) {
    RandomSource random(clock);
    random.ReseedFromClock();
    for (std::size_t i = 0; i < 4; ++i) {
      EXPECT_EQ(random.RandBelow(row.n), row.expected[i]) << "n=" << row.n << " draw " << i;
      EXPECT_EQ(random.RandomState, states[i]) << "every draw advances the state once";
    }
  }
  RandomSource random(clock);
  random.ReseedFromClock();
  EXPECT_EQ(random.RandReal(), 0x1p-32) << "the first real after state 0 is 2^-32, not 0";
  EXPECT_EQ(random.RandReal(), 0.031379939522594213);
}

// The state whose next step gives `next`: the step is a bijection on 32 bits,
// undone with the 2-adic inverse of the multiplier.
std::uint32_t StateBefore(std::uint32_t next) {
  std::uint32_t inverse = 1;
  for (int i = 0; i < 5; ++i) inverse *= 2u - 134775813u * inverse;
  return (next - 1u) * inverse;
}

TEST(random_source_test, draws_use_the_high_bits_of_the_new_state) {
  FixedClock clock(0);
  RandomSource random(clock);
  struct Row {
    std::uint32_t next;
    std::int32_t n;
    std::int32_t expected;
  };
  const Row rows[] = {
      {0xFFFFFFFFu, 101, 100},                  // the largest state gives n - 1
      {0xFFFFFFFFu, 1600, 1599}, {100u, 7, 0},  // low bits alone give 0, not state mod n
      {0x80000000u, 2, 1},       {0x7FFFFFFFu, 2, 0}, {0u, 101, 0},
  };
  for (const Row& row : rows) {
    random.RandomState = StateBefore(row.next);
    EXPECT_EQ(random.RandBelow(row.n), row.expected) << row.next << " below " << row.n;
    EXPECT_EQ(random.RandomState, row.next);
  }
  random.RandomState = StateBefore(0xFFFFFFFFu);
  EXPECT_EQ(random.RandReal(), 1.0 - 0x1p-32) << "never 1";
  random.RandomState = StateBefore(0u);
  EXPECT_EQ(random.RandReal(), 0.0) << "exactly 0 only from state 0";
}

TEST(random_source_test, reseeds_take_the_clock_reading) {
  ScriptedClock clock({5, 5, 86'399'999});
  RandomSource random(clock);
  random.ReseedFromClock();
  std::vector<std::int32_t> first;
  for (int i = 0; i < 8; ++i) first.push_back(random.RandBelow(1600));
  random.ReseedFromClock();
  std::vector<std::int32_t> second;
  for (int i = 0; i < 8; ++i) second.push_back(random.RandBelow(1600));
  EXPECT_EQ(first, second) << "two reseeds reading the same millisecond give the same sequence";
  random.ReseedFromClock();
  EXPECT_EQ(random.RandomState, 86'399'999u) << "just before midnight: the largest seed";
}

// The system clock reads the UTC time of day: between two readings of the
// C library's clock taken around it (allowing for midnight in between).
TEST(random_source_test, system_clock_reads_the_utc_time_of_day) {
  const auto msOfDay = [] {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::uint32_t>((now.tv_sec % 86'400) * 1000 + now.tv_nsec / 1'000'000);
  };
  SystemClock clock;
  for (int i = 0; i < 3; ++i) {
    const std::uint32_t before = msOfDay();
    const std::uint32_t reading = clock.MillisecondsOfDay();
    const std::uint32_t after = msOfDay();
    EXPECT_LT(reading, kMillisecondsPerDay);
    if (after < before) continue;  // midnight passed
    EXPECT_GE(reading, before);
    EXPECT_LE(reading, after);
    std::this_thread::sleep_for(std::chrono::milliseconds(7));
  }
}

// Draws filled sixteen apart are the draws of RandBelow one after another:
// every value and the state left behind, for counts around the block size
// and ranges from 1 to the largest.
TEST(random_source_test, filled_draws_are_the_draws_one_by_one) {
  struct Case {
    std::uint32_t state;
    std::int32_t n;
    std::size_t count;
  };
  const Case cases[] = {{0, 1600, 32000},
                        {86'399'999, 400, 8000},
                        {12345, 1600, 0},
                        {7, 1600, 7},
                        {7, 1600, 8},
                        {7, 1600, 9},
                        {7, 1600, 15},
                        {7, 1600, 16},
                        {1, 1, 17},
                        {0xffffffffu, 2'147'483'647, 1003},
                        {0xfffffff0u, 65'535, 4099},
                        {3, 65'536, 4099},
                        {99, 160'000, 4099},
                        {5, 1600, 49},
                        {5, 160'000, 49}};
  for (const Case& c : cases) {
    FixedClock clock(0);
    RandomSource one(clock), filled(clock);
    one.RandomState = c.state;
    filled.RandomState = c.state;
    std::vector<std::int32_t> expected(c.count), got(c.count, -1);
    for (std::int32_t& v : expected) v = one.RandBelow(c.n);
    filled.FillBelow(c.n, got.data(), got.size());
    EXPECT_EQ(got, expected) << "state " << c.state << " n " << c.n << " count " << c.count;
    EXPECT_EQ(filled.RandomState, one.RandomState) << "count " << c.count;
  }
}

}  // namespace
}  // namespace impactsim
