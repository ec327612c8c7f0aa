#include "sweep/setting_texts.h"

#include <charconv>
#include <system_error>

#include "sweep/real_charconv.h"

namespace impactsim {

std::optional<double> ReadReal(std::string_view text, double low, double high) {
  if (text.empty() || text.find_first_not_of("0123456789.eE-+") != std::string_view::npos ||
      text.front() < '0' || text.front() > '9') {
    return std::nullopt;
  }
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = RealFromChars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || !(value >= low && value <= high)) return std::nullopt;
  return value;
}

std::optional<std::string> RealText(std::string_view text, double low, double high) {
  const auto value = ReadReal(text, low, high);
  if (!value) return std::nullopt;
  return FixedDecimal(*value);
}

double RealOf(std::string_view text) {
  double value = 0.0;
  RealFromChars(text.data(), text.data() + text.size(), value);
  return value;
}
std::int32_t WholeOf(std::string_view text) {
  std::int32_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

}  // namespace impactsim
