#pragma once
// The run settings as the command line offers them, each described once: its
// option and column name, the values it takes, its help, and which programs
// have it. "impactsim run" takes one value of each and "impactsim sweep" a
// list; both parse, check and describe them through this table, and the
// sweep's rows show them through it.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "model/program_profile.h"
#include "model/run_settings.h"

namespace impactsim {

// How a sweep's JSON row holds a setting's value: as a number (the text read
// as JSON) or as a string.
enum class ValueKind { Number, Word };

// One run setting. A value is a code: the number itself for a range, the
// item's index otherwise. A switch is a setting whose items are "off" and
// "on"; "impactsim run" offers it as a pair of switches (--edge and
// --no-edge), "impactsim sweep" as a list of on/off.
struct SettingOption {
  std::string_view Name{};     // the option without its dashes, e.g. "initial-dist"
  std::string_view Column{};   // the rows' column, e.g. "initial_dist"
  std::string_view Type{};     // the value's placeholder in "impactsim run"; empty for a switch
  std::string_view Help{};     // what the setting does
  std::string_view Meaning{};  // what the rows' column holds
  std::int32_t Low = 0;        // a range of integers: Low..High
  std::int32_t High = 0;
  std::span<const std::string_view> Items{};  // named values, by code; empty for a range
  std::string_view OffName{};  // the switch that turns it off in "impactsim run", if any
  std::string_view OffHelp{};
  bool ProgramProfile::*Has = nullptr;  // the programs that have it; null: every one
  ValueKind Kind = ValueKind::Word;
  std::int32_t (*Get)(const RunSettings&) = nullptr;
  void (*Set)(RunSettings&, std::int32_t) = nullptr;

  bool IsSwitch() const;
  bool HasIn(const ProgramProfile& program) const { return Has == nullptr || program.*Has; }

  // The code of a value as typed, or nothing for text the setting does not take.
  std::optional<std::int32_t> Parse(std::string_view text) const;
  // A value as typed and as the rows show it.
  std::string Text(std::int32_t code) const;
  // What the setting accepts: one value, or a comma-separated list.
  std::string Accepts(bool list) const;
};

inline constexpr std::size_t kSettingCount = 8;

// rounds, initial-dist, distance, edge, wide-scope, remove-self, summation,
// sequential: the order of the rows' columns and of a sweep's nested loops.
const std::array<SettingOption, kSettingCount>& SettingOptions();

// What a switch list accepts in "impactsim sweep".
inline constexpr std::string_view kSwitchListAccepts =
    "no value (on) or a comma-separated list of on, off";

// The programs that have a setting, for "only for --program ..." messages.
std::string ProgramsWith(const SettingOption& setting);

// A setting's default in the help: one value when every program has the same,
// otherwise "halvorn 500, kestane 50".
std::string DefaultText(const SettingOption& setting);

// What the program option accepts: one name, or a comma-separated list.
std::string ProgramAccepts(bool list);

// Seeds: milliseconds of the day.
std::optional<std::uint32_t> ParseSeed(std::string_view text);

}  // namespace impactsim
