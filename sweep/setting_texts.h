#pragma once
// What the tables of run settings share: the texts of reals and switches
// and the two parts of the table, the windows' settings and the others
// (SettingOptions() joins them). For sweep/ alone.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sweep/setting_options.h"

namespace impactsim {

inline constexpr std::string_view kOffOn[] = {"off", "on"};

// Reals as typed: digits, a point and digits, an exponent ("0.3", "2.",
// "1e-5") in low..high; no sign, blank, hexadecimal, infinity or NaN.
std::optional<double> ReadReal(std::string_view text, double low, double high);
// The text of such a real: FixedDecimal of it.
std::optional<std::string> RealText(std::string_view text, double low, double high);

// The number of a value the table wrote (a setter's input is always one).
double RealOf(std::string_view text);
std::int32_t WholeOf(std::string_view text);

// Reads and writes one field of the settings through its text.
template <auto Field>
std::string GetBool(const RunSettings& s) {
  return std::string(kOffOn[s.*Field ? 1 : 0]);
}
template <auto Field>
void SetBool(RunSettings& s, std::string_view value) {
  s.*Field = value == kOffOn[1];
}

inline constexpr std::size_t kWindowsSettingCount = 8;

// rounds, initial-dist, distance, edge, wide-scope, remove-self, summation,
// sequential.
const std::array<SettingOption, kWindowsSettingCount>& WindowsSettingOptions();
// side, scope, initial-count, strengths, noise, start, opinions, initial-shares.
const std::array<SettingOption, kSettingCount - kWindowsSettingCount>& NewerSettingOptions();

}  // namespace impactsim
