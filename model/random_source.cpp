#include "model/random_source.h"

#include <chrono>
#include <cstring>

namespace impactsim {

std::uint32_t SystemClock::MillisecondsOfDay() {
  using namespace std::chrono;
  const auto now = time_point_cast<milliseconds>(system_clock::now());
  const auto sinceMidnight = now - floor<days>(now);
  return static_cast<std::uint32_t>(sinceMidnight.count());
}

namespace {

constexpr std::uint32_t kMultiplier = 134775813u;
constexpr int kApart = 16;
constexpr std::uint64_t kHalfRange = std::uint64_t{1} << 16;

// The recurrence applied `times` times at once: state * A + C.
struct Jump {
  std::uint32_t A = 1;
  std::uint32_t C = 0;
};
constexpr Jump JumpOf(int times) {
  Jump j;
  for (int i = 0; i < times; ++i) {
    j.A = j.A * kMultiplier;
    j.C = j.C * kMultiplier + 1u;
  }
  return j;
}
constexpr Jump kJump = JumpOf(kApart);
constexpr Jump kJumpTwice = JumpOf(2 * kApart);

// The blocks of kApart draws: lane i of a block holds the state of its i-th
// draw. Two sets of lanes hold two blocks in turn and every lane jumps
// 2 kApart draws at once, so that the two chains of multiplies overlap.
// Whole-number arithmetic only, so any vector width gives the same draws;
// the compiler makes one version per instruction set, chosen as the program
// loads.
using Lanes = std::uint32_t __attribute__((vector_size(kApart * sizeof(std::uint32_t))));
using Wide = std::uint64_t __attribute__((vector_size(kApart / 2 * sizeof(std::uint64_t))));

// The draws below `range` of one block's states.
inline void Below(std::uint64_t range, const Lanes& lane, std::int32_t* block) {
  if (range < kHalfRange) {
    // range * state >> 32 in 32-bit lanes: with state = hi 2^16 + lo and
    // range * lo = q 2^16 + r (r < 2^16), the product is
    // (range hi + q) 2^16 + r, so its top half is (range hi + q) >> 16,
    // and range hi + q stays below 2^32 while range < 2^16.
    const auto r = static_cast<std::uint32_t>(range);
    const Lanes top = (r * (lane >> 16) + ((r * (lane & 0xffffu)) >> 16)) >> 16;
    std::memcpy(block, &top, sizeof top);  // each below 2^16: the same as an int32
    return;
  }
  // By halves of 64-bit products.
  Wide low, high;
  for (int i = 0; i < kApart / 2; ++i) {
    low[i] = lane[i];
    high[i] = lane[i + kApart / 2];
  }
  low = (low * range) >> 32;
  high = (high * range) >> 32;
  for (int i = 0; i < kApart / 2; ++i) {
    block[i] = static_cast<std::int32_t>(low[i]);
    block[i + kApart / 2] = static_cast<std::int32_t>(high[i]);
  }
}

// Compiled for the wider x86 vector units too, chosen when the program
// starts; other processors (and WebAssembly) have the one version. Integer
// arithmetic only: every version gives the same draws.
#if defined(__x86_64__) || defined(__i386__)
#define IMPACTSIM_VECTOR_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define IMPACTSIM_VECTOR_CLONES
#endif

// At least one block; returns the state after the last draw.
IMPACTSIM_VECTOR_CLONES std::uint32_t FillBlocks(std::uint64_t range, std::uint32_t state,
                                                 std::int32_t* out, std::size_t blocks) {
  Lanes even;
  for (int i = 0; i < kApart; ++i) {
    state = state * kMultiplier + 1u;
    even[i] = state;
  }
  Lanes odd = even * kJump.A + kJump.C;
  std::uint32_t last = 0;  // the state of the latest block's last draw
  std::size_t b = 0;
  for (; b + 2 <= blocks; b += 2) {
    Below(range, even, out + b * kApart);
    Below(range, odd, out + (b + 1) * kApart);
    last = odd[kApart - 1];
    even = even * kJumpTwice.A + kJumpTwice.C;
    odd = odd * kJumpTwice.A + kJumpTwice.C;
  }
  if (b < blocks) {
    Below(range, even, out + b * kApart);
    last = even[kApart - 1];
  }
  return last;
}

}  // namespace

void RandomSource::FillBelow(std::int32_t n, std::int32_t* out, std::size_t count) {
  const auto range = static_cast<std::uint64_t>(static_cast<std::uint32_t>(n));
  const std::size_t blocks = count / kApart;
  std::size_t done = 0;
  if (blocks > 0) {
    RandomState = FillBlocks(range, RandomState, out, blocks);
    done = blocks * kApart;
  }
  for (; done < count; ++done) out[done] = RandBelow(n);
}

}  // namespace impactsim
