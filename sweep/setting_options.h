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
#include <vector>

#include "model/program_profile.h"
#include "model/run_settings.h"

namespace impactsim {

// How a sweep's JSON row holds a setting's value: as a number (the text read
// as JSON) or as a string.
enum class ValueKind { Number, Word };

// One run setting. A value is its text, one text per value: the parser
// writes every spelling it takes ("0.30", "2.0") as that text ("0.3", "2"),
// and the rows, the sweep's identity and its recorded command line all show
// it. A switch is a setting whose items are "off" and "on"; "impactsim run"
// offers it as a pair of switches (--edge and --no-edge), "impactsim sweep"
// as a list of on/off.
struct SettingOption {
  std::string_view Name{};     // the option without its dashes, e.g. "initial-dist"
  std::string_view Column{};   // the rows' column, e.g. "initial_dist"
  std::string_view Type{};     // the value's placeholder in "impactsim run"; empty for a switch
  std::string_view Help{};     // what the setting does
  std::string_view Meaning{};  // what the rows' column holds
  std::int32_t Low = 0;        // whole numbers Low..High, unless Items or Reader
  std::int32_t High = 0;
  std::span<const std::string_view> Items{};  // named values
  std::string_view OffName{};  // the switch that turns it off in "impactsim run", if any
  std::string_view OffHelp{};
  bool ProgramProfile::*Has = nullptr;  // the programs that have it; null: every one
  ValueKind Kind = ValueKind::Word;
  bool Decimal = false;  // a real number, which the rows' values hold as a decimal
  // One of the windows' settings: a column of every sweep's rows. The others
  // are columns only of a sweep that gives them a value some program of it
  // does not open with, so that a sweep without them is the sweep it was.
  bool Windows = true;
  // A setting of "impactsim sweep" only (the start files, by name): a run
  // takes it its own way.
  bool SweepOnly = false;
  // Values of their own form (reals, pairs): the value's text, or nothing.
  std::optional<std::string> (*Reader)(std::string_view) = nullptr;
  std::string_view ReaderAccepts{};      // what Reader takes
  std::string_view ReaderListAccepts{};  // what it takes in a list, if not that
  std::string_view DefaultHelp{};        // the default in the help, when not a value
  std::string (*Get)(const RunSettings&) = nullptr;
  void (*Set)(RunSettings&, std::string_view value) = nullptr;  // a value Parse gave

  bool IsSwitch() const;
  bool HasIn(const ProgramProfile& program) const { return Has == nullptr || program.*Has; }

  // The value of a text as typed, or nothing for text the setting does not take.
  std::optional<std::string> Parse(std::string_view text) const;
  // What the setting accepts: one value, or a comma-separated list.
  std::string Accepts(bool list) const;
};

inline constexpr std::size_t kSettingCount = 16;
inline constexpr std::size_t kStartSetting = 13;  // the start files, by name
inline constexpr std::size_t kOpinionsSetting = 14;

// rounds, initial-dist, distance, edge, wide-scope, remove-self, summation,
// sequential (the windows' settings), then side, scope, initial-count,
// strengths, noise, start, opinions, initial-shares: the order of the rows' columns and of a
// sweep's nested loops.
const std::array<SettingOption, kSettingCount>& SettingOptions();

// The settings a sweep's rows show, one bit per setting in the order of
// SettingOptions(): every windows' setting, and the others a sweep varies.
using SettingColumns = std::uint32_t;
SettingColumns WindowsColumns();
inline bool Shows(SettingColumns columns, std::size_t setting) {
  return ((columns >> setting) & 1u) != 0;
}
// The layout also holds, above the settings' bits, the greatest number of
// opinions of the sweep's tasks when it is above two: its rows then have
// columns for opinions 3..K, and every other sweep's rows stay as they were.
inline constexpr unsigned kOpinionColumnsShift = 24;
static_assert(kSettingCount <= kOpinionColumnsShift);
inline int OpinionColumns(SettingColumns columns) {
  const int opinions = static_cast<int>(columns >> kOpinionColumnsShift);
  return opinions > 2 ? opinions : 2;
}
inline SettingColumns WithOpinionColumns(SettingColumns columns, int opinions) {
  const SettingColumns settings = columns & ((SettingColumns{1} << kOpinionColumnsShift) - 1);
  return opinions > 2 ? settings | static_cast<SettingColumns>(opinions) << kOpinionColumnsShift
                      : settings;
}

// A real as every setting writes it: the shortest decimal that reads back
// as the same double, in plain digits ("2", "0.3", "0.00001").
std::string FixedDecimal(double value);

// Initial shares as the initial-shares setting writes them: "s1:...:sK";
// empty for none.
std::string SharesText(const std::vector<double>& shares);
// How far from 1 the shares of a run may sum.
inline constexpr double kShareSumTolerance = 1e-9;

// A ring scope as the scope setting writes it: "R:C".
std::string ScopeText(const RingScope& scope);

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
