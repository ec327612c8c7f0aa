#pragma once
// The text of setting values shared by every front end: the one parser of
// decimal digits, and the phrases that say what a setting accepts.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace impactsim {

// Plain decimal digits (nothing else: no sign, blank or prefix) for a value
// in low..high; nothing for any other text.
std::optional<std::uint64_t> ParseDigits(std::string_view text, std::uint64_t low,
                                         std::uint64_t high);

// "a, b or c"; "a comma-separated list of a, b, c"; "a comma-separated list
// of <what>".
std::string OneOf(const std::vector<std::string>& items);
std::string ListOf(const std::vector<std::string>& items);
std::string ListOf(const std::string& what);

}  // namespace impactsim
