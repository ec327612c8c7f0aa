#pragma once
// Seeds spread over the whole day. A seed is the first state of the run's
// linear congruential generator, so the runs of consecutive seeds, or of
// any evenly spaced ones, start from states a fixed step apart: their first
// draws differ by fixed amounts and the start populations they build are
// patterned (one cell may never start in the minority). A spread takes one
// seed at a pseudo-random offset in each of N equal strata of the day.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace impactsim {

// "spread:N" or "spread:N:K": N seeds (1..kMillisecondsPerDay), the K-th
// (0..4294967295) of the independent sets of N.
struct SeedSpread {
  std::uint32_t Count = 1;
  std::uint32_t Key = 0;

  // "spread:N", with ":K" when K is not 0.
  std::string Text() const;
};

// Whether `text` asks for a spread at all ("spread:" and anything after).
bool IsSpreadText(std::string_view text);

// The spread a text asks for; nothing for any other text, and for a bad
// count or key (plain digits only, in range).
std::optional<SeedSpread> ParseSpread(std::string_view text);

// Seed `index` (< spread.Count) of a spread, computed without the others.
// With D = kMillisecondsPerDay and N = spread.Count, stratum i is
// [floor(i*D/N), floor((i+1)*D/N)); its seed is the stratum's start plus
// floor(h * width / 2^64), where h = F(F(K * 2^32 + N) + i +
// 0x9e3779b97f4a7c15) (mod 2^64) and F is the SplitMix64 finaliser: the
// offsets of spreads of other sizes or keys are unrelated. The seeds ascend, none
// repeats, and N = D gives every seed of the day. Sweep descriptions record
// spreads by their text, so these values never change.
std::uint32_t SpreadSeed(const SeedSpread& spread, std::uint32_t index);

}  // namespace impactsim
