#include "sweep/setting_options.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "model/random_source.h"
#include "programs/programs.h"
#include "sweep/value_text.h"

namespace impactsim {

namespace {

constexpr std::string_view kOffOn[] = {"off", "on"};
constexpr std::string_view kInitialDistText[] = {"0.4", "0.3", "0.2", "0.1"};
static_assert(std::size(kInitialDistText) == kInitialDistItems.size());
constexpr std::string_view kDistanceText[] = {"nb", "0", "1", "2", "3", "4"};

// Reads and writes one field of the settings through its code.
template <auto Field>
std::int32_t GetBool(const RunSettings& s) {
  return s.*Field ? 1 : 0;
}
template <auto Field>
void SetBool(RunSettings& s, std::int32_t code) {
  s.*Field = code != 0;
}

const std::array<SettingOption, kSettingCount> kSettings = {{
    {.Name = "rounds",
     .Column = "rounds",
     .Type = "N",
     .Help = "rounds at most",
     .Meaning = "rounds at most",
     .Low = 1,
     .High = std::numeric_limits<std::int32_t>::max(),
     .Kind = ValueKind::Number,
     .Get = [](const RunSettings& s) { return s.Rounds; },
     .Set = [](RunSettings& s, std::int32_t v) { s.Rounds = v; }},
    {.Name = "initial-dist",
     .Column = "initial_dist",
     .Type = "P",
     .Help = "initial share of opinion 2",
     .Meaning = "initial share of opinion 2",
     .Items = kInitialDistText,
     .Kind = ValueKind::Number,
     .Get =
         [](const RunSettings& s) {
           return static_cast<std::int32_t>(InitialDistItem(s.InitialShare));
         },
     .Set =
         [](RunSettings& s, std::int32_t v) {
           s.InitialShare = kInitialDistItems[static_cast<std::size_t>(v)];
         }},
    {.Name = "distance",
     .Column = "distance",
     .Type = "D",
     .Help = "power of distance that divides a source's strength (nb: none, and ring "
             "neighbourhoods keep to ring 1)",
     .Meaning = "power of distance that divides a source's strength (nb: ring 1 only)",
     .Items = kDistanceText,
     .Get = [](const RunSettings& s) { return static_cast<std::int32_t>(*s.Distance.MenuItem()); },
     .Set = [](RunSettings& s, std::int32_t v) { s.Distance = static_cast<DistancePar>(v); }},
    {.Name = "edge",
     .Column = "edge",
     .Help = "bounded grid",
     .Meaning = "bounded grid (on) or torus (off); halvorn only, empty or null for kestane",
     .Items = kOffOn,
     .OffName = "no-edge",
     .OffHelp = "torus instead of a bounded grid",
     .Has = &ProgramProfile::HasEdge,
     .Get = GetBool<&RunSettings::Edge>,
     .Set = SetBool<&RunSettings::Edge>},
    {.Name = "wide-scope",
     .Column = "wide_scope",
     .Help = "neighbourhood scope 29 / 19.0 instead of 17 / 10.0",
     .Meaning = "scope 29 / 19.0 instead of 17 / 10.0; halvorn only, empty or null for kestane",
     .Items = kOffOn,
     .Has = &ProgramProfile::HasWideScope,
     .Get = GetBool<&RunSettings::WideScope>,
     .Set = SetBool<&RunSettings::WideScope>},
    {.Name = "remove-self",
     .Column = "remove_self",
     .Help = "leave the target's own voice out",
     .Meaning = "the target's own voice left out; halvorn only, empty or null for kestane",
     .Items = kOffOn,
     .Has = &ProgramProfile::HasRemoveSelf,
     .Get = GetBool<&RunSettings::RemoveSelf>,
     .Set = SetBool<&RunSettings::RemoveSelf>},
    {.Name = "summation",
     .Column = "summation",
     .Help = "plain sums of impact instead of root-damped averages",
     .Meaning = "plain sums of impact instead of root-damped averages",
     .Items = kOffOn,
     .Get = GetBool<&RunSettings::SummationM>,
     .Set = SetBool<&RunSettings::SummationM>},
    {.Name = "sequential",
     .Column = "sequential",
     .Help = "update cells one after another on the current population",
     .Meaning = "cells updated one after another (on) or all at once (off)",
     .Items = kOffOn,
     .OffName = "simultaneous",
     .OffHelp = "update all cells from the population at the start of the round",
     .Get = GetBool<&RunSettings::RandomSeq>,
     .Set = SetBool<&RunSettings::RandomSeq>},
}};

std::vector<std::string> Texts(std::span<const std::string_view> items) {
  return {items.begin(), items.end()};
}

}  // namespace

const std::array<SettingOption, kSettingCount>& SettingOptions() {
  return kSettings;
}

bool SettingOption::IsSwitch() const {
  return std::equal(Items.begin(), Items.end(), std::begin(kOffOn), std::end(kOffOn));
}

std::optional<std::int32_t> SettingOption::Parse(std::string_view text) const {
  if (Items.empty()) {
    const auto value =
        ParseDigits(text, static_cast<std::uint64_t>(Low), static_cast<std::uint64_t>(High));
    if (!value) return std::nullopt;
    return static_cast<std::int32_t>(*value);
  }
  for (std::size_t i = 0; i < Items.size(); ++i) {
    if (Items[i] == text) return static_cast<std::int32_t>(i);
  }
  return std::nullopt;
}

std::string SettingOption::Text(std::int32_t code) const {
  if (Items.empty()) return std::to_string(code);
  return std::string(Items[static_cast<std::size_t>(code)]);
}

std::string SettingOption::Accepts(bool list) const {
  if (IsSwitch()) return list ? std::string(kSwitchListAccepts) : "no value";
  if (Items.empty()) {
    const std::string range = std::to_string(Low) + ".." + std::to_string(High);
    return list ? ListOf("integers " + range) : "an integer " + range;
  }
  return list ? ListOf(Texts(Items)) : OneOf(Texts(Items));
}

std::string ProgramsWith(const SettingOption& setting) {
  std::vector<std::string> names;
  for (const ProgramProfile* p : Programs()) {
    if (setting.HasIn(*p)) names.emplace_back(p->Name);
  }
  return OneOf(names);
}

std::string DefaultText(const SettingOption& setting) {
  std::string joined;
  std::string first;
  bool allSame = true;
  for (const ProgramProfile* p : Programs()) {
    if (!setting.HasIn(*p)) continue;
    const std::string text = setting.Text(setting.Get(p->Defaults));
    if (first.empty()) first = text;
    allSame = allSame && text == first;
    if (!joined.empty()) joined += ", ";
    joined += std::string(p->Name) + " " + text;
  }
  return allSame ? first : joined;
}

std::string ProgramAccepts(bool list) {
  std::vector<std::string> names;
  for (const ProgramProfile* p : Programs()) names.emplace_back(p->Name);
  return list ? ListOf(names) : OneOf(names);
}

std::optional<std::uint32_t> ParseSeed(std::string_view text) {
  const auto value = ParseDigits(text, 0, kMillisecondsPerDay - 1);
  if (!value) return std::nullopt;
  return static_cast<std::uint32_t>(*value);
}

}  // namespace impactsim
