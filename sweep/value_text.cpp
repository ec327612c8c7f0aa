#include "sweep/value_text.h"

#include <charconv>
#include <system_error>

namespace impactsim {

std::optional<std::uint64_t> ParseDigits(std::string_view text, std::uint64_t low,
                                         std::uint64_t high) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || value < low || value > high) return std::nullopt;
  return value;
}

std::string OneOf(const std::vector<std::string>& items) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += i + 1 == items.size() ? " or " : ", ";
    text += items[i];
  }
  return text;
}

std::string ListOf(const std::vector<std::string>& items) {
  std::string joined;
  for (const std::string& item : items) joined += (joined.empty() ? "" : ", ") + item;
  return ListOf(joined);
}

std::string ListOf(const std::string& what) {
  return "a comma-separated list of " + what;
}

}  // namespace impactsim
