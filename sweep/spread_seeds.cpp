#include "sweep/spread_seeds.h"

#include "model/random_source.h"
#include "sweep/value_text.h"

namespace impactsim {

namespace {

constexpr std::string_view kPrefix = "spread:";

std::uint64_t Finalise(std::uint64_t z) {
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

// floor(a * b / 2^64) for b < 2^32, in halves of a so that no product
// overflows.
std::uint64_t MultiplyHigh(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t low = (a & 0xffffffffULL) * b;
  return ((a >> 32) * b + (low >> 32)) >> 32;
}

}  // namespace

std::string SeedSpread::Text() const {
  std::string text = std::string(kPrefix) + std::to_string(Count);
  if (Key != 0) text += ':' + std::to_string(Key);
  return text;
}

bool IsSpreadText(std::string_view text) {
  return text.starts_with(kPrefix);
}

std::optional<SeedSpread> ParseSpread(std::string_view text) {
  if (!IsSpreadText(text)) return std::nullopt;
  text.remove_prefix(kPrefix.size());
  const std::size_t colon = text.find(':');
  const auto count = ParseDigits(text.substr(0, colon), 1, kMillisecondsPerDay);
  const auto key = colon == std::string_view::npos
                       ? std::optional<std::uint64_t>(0)
                       : ParseDigits(text.substr(colon + 1), 0, 0xffffffffULL);
  if (!count || !key) return std::nullopt;
  return SeedSpread{static_cast<std::uint32_t>(*count), static_cast<std::uint32_t>(*key)};
}

std::uint32_t SpreadSeed(const SeedSpread& spread, std::uint32_t index) {
  const std::uint64_t day = kMillisecondsPerDay;
  const std::uint64_t start = index * day / spread.Count;
  const std::uint64_t width = (index + std::uint64_t{1}) * day / spread.Count - start;
  // The set's own start, so that spreads of other sizes are other sets.
  const std::uint64_t set = Finalise((std::uint64_t{spread.Key} << 32) | spread.Count);
  const std::uint64_t h = Finalise(set + index + 0x9e3779b97f4a7c15ULL);
  return static_cast<std::uint32_t>(start + MultiplyHigh(h, width));
}

}  // namespace impactsim
