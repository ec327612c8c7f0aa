#include "sweep/setting_options.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <system_error>
#include <vector>

#include "impact/ring_impact.h"
#include "model/grid.h"
#include "model/random_source.h"
#include "programs/programs.h"
#include "sweep/value_text.h"

namespace impactsim {

namespace {

constexpr std::string_view kOffOn[] = {"off", "on"};

// Reals as typed: digits, a point and digits, an exponent ("0.3", "2.",
// "1e-5"); no sign, blank, hexadecimal, infinity or NaN.
std::optional<double> ReadReal(std::string_view text, double low, double high) {
  if (text.empty() || text.find_first_not_of("0123456789.eE-+") != std::string_view::npos ||
      text.front() < '0' || text.front() > '9') {
    return std::nullopt;
  }
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
  if (ec != std::errc() || ptr != end || !(value >= low && value <= high)) return std::nullopt;
  return value;
}

std::optional<std::string> RealText(std::string_view text, double low, double high) {
  const auto value = ReadReal(text, low, high);
  if (!value) return std::nullopt;
  return FixedDecimal(*value);
}

// A value this table wrote (the setter's input is always one).
double RealOf(std::string_view text) {
  double value = 0.0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}
std::int32_t WholeOf(std::string_view text) {
  std::int32_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

constexpr double kMaxPower = 64.0;
constexpr int kMinSide = kMinGridSide;
constexpr int kMaxSide = kMaxGridSide;
constexpr int kMaxScopeRadius = kMaxRingRadius;
constexpr double kMaxScopeCutoff = 200.0;
constexpr double kMaxNoise = 1e6;

std::optional<std::string> ReadDistance(std::string_view text) {
  if (text == "nb") return std::string(text);
  return RealText(text, 0.0, kMaxPower);
}

// "R:C" (or "R,C" as one value): ring radius, then the distance cut-off.
std::optional<std::string> ReadScope(std::string_view text) {
  const std::size_t colon = text.find_first_of(":,");
  if (colon == std::string_view::npos) return std::nullopt;
  const auto radius = ParseDigits(text.substr(0, colon), 1, kMaxScopeRadius);
  const auto cutoff = ReadReal(text.substr(colon + 1), 0.0, kMaxScopeCutoff);
  if (!radius || !cutoff) return std::nullopt;
  return std::to_string(*radius) + ":" + FixedDecimal(*cutoff);
}

std::optional<std::string> ReadStrengths(std::string_view text) {
  if (text == "uniform" || text == "file") return std::string(text);
  constexpr std::string_view kEqual = "equal:";
  if (!text.starts_with(kEqual)) return std::nullopt;
  const auto value = ParseDigits(text.substr(kEqual.size()), 0, kStrengthValues - 1);
  if (!value) return std::nullopt;
  return std::string(kEqual) + std::to_string(*value);
}

// Reads and writes one field of the settings through its text.
template <auto Field>
std::string GetBool(const RunSettings& s) {
  return std::string(kOffOn[s.*Field ? 1 : 0]);
}
template <auto Field>
void SetBool(RunSettings& s, std::string_view value) {
  s.*Field = value == kOffOn[1];
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
     .Get = [](const RunSettings& s) { return std::to_string(s.Rounds); },
     .Set = [](RunSettings& s, std::string_view v) { s.Rounds = WholeOf(v); }},
    {.Name = "initial-dist",
     .Column = "initial_dist",
     .Type = "P",
     .Help = "initial share of opinion 2: each cell's chance of it",
     .Meaning = "initial share of opinion 2",
     .Kind = ValueKind::Number,
     .Decimal = true,
     .Reader = [](std::string_view t) { return RealText(t, 0.0, 1.0); },
     .ReaderAccepts = "a decimal 0..1 (the windows offer 0.4, 0.3, 0.2, 0.1)",
     .Get = [](const RunSettings& s) { return FixedDecimal(s.InitialShare); },
     .Set = [](RunSettings& s, std::string_view v) { s.InitialShare = RealOf(v); }},
    {.Name = "distance",
     .Column = "distance",
     .Type = "D",
     .Help = "power of distance that divides a source's strength (nb: none, and ring "
             "neighbourhoods keep to ring 1)",
     .Meaning = "power of distance that divides a source's strength (nb: ring 1 only)",
     .Reader = ReadDistance,
     .ReaderAccepts = "nb or a decimal 0..64 (the windows offer nb, 0, 1, 2, 3, 4)",
     .Get =
         [](const RunSettings& s) {
           return s.Distance.Nb ? std::string("nb") : FixedDecimal(s.Distance.Power);
         },
     .Set =
         [](RunSettings& s, std::string_view v) {
           s.Distance =
               v == "nb" ? DistanceRule(DistancePar::Nb) : DistanceRule::OfPower(RealOf(v));
         }},
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
    {.Name = "side",
     .Column = "side",
     .Type = "N",
     .Help = "cells per side of the square grid",
     .Meaning = "cells per side of the grid",
     .Low = kMinSide,
     .High = kMaxSide,
     .Kind = ValueKind::Number,
     .Windows = false,
     .Get = [](const RunSettings& s) { return std::to_string(s.Side); },
     .Set = [](RunSettings& s, std::string_view v) { s.Side = WholeOf(v); }},
    {.Name = "scope",
     .Column = "scope",
     .Type = "R,C",
     .Help = "halvorn's ring neighbourhood: the sources on rings 1..R around the target that "
             "lie within distance C",
     .Meaning = "ring radius and distance cut-off of the neighbourhood, as R:C; halvorn only, "
                "empty or null for kestane",
     .Has = &ProgramProfile::HasWideScope,
     .Windows = false,
     .Reader = ReadScope,
     .ReaderAccepts = "R,C or R:C with R an integer 1..100 and C a decimal 0..200",
     .ReaderListAccepts = "R:C with R an integer 1..100 and C a decimal 0..200",
     .DefaultHelp = "17,10, or 29,19 with --wide-scope",
     .Get = [](const RunSettings& s) { return s.Scope ? ScopeText(*s.Scope) : std::string(); },
     .Set =
         [](RunSettings& s, std::string_view v) {
           const std::size_t colon = v.find(':');
           s.Scope = RingScope{.Radius = static_cast<std::uint8_t>(WholeOf(v.substr(0, colon))),
                               .Distance = RealOf(v.substr(colon + 1))};
         }},
    {.Name = "initial-count",
     .Column = "initial_count",
     .Type = "N",
     .Help = "exactly N cells of opinion 2 at the start, placed by the random source "
             "(instead of --initial-dist)",
     .Meaning = "cells of opinion 2 the run started with, placed by the random source",
     .Low = 0,
     .High = kMaxSide * kMaxSide,
     .Kind = ValueKind::Number,
     .Windows = false,
     .DefaultHelp = "none: --initial-dist decides",
     .Get =
         [](const RunSettings& s) {
           return s.InitialCount < 0 ? std::string() : std::to_string(s.InitialCount);
         },
     .Set = [](RunSettings& s, std::string_view v) { s.InitialCount = WholeOf(v); }},
    {.Name = "strengths",
     .Column = "strengths",
     .Type = "RULE",
     .Help = "how the strengths are drawn: uniform (each persuasiveness and supportiveness "
             "0..100, equally likely), equal:V (every strength V, the control without "
             "individual differences) or file (taken from the start population's file)",
     .Meaning = "how the strengths were drawn: uniform (0..100), equal:V (every strength V) "
                "or file (given with the start population)",
     .Windows = false,
     .Reader = ReadStrengths,
     .ReaderAccepts = "uniform, file or equal:V with V an integer 0..100",
     .Get =
         [](const RunSettings& s) {
           switch (s.Strengths.Draw) {
             case StrengthDraw::Equal:
               return "equal:" + std::to_string(s.Strengths.Value);
             case StrengthDraw::Given:
               return std::string("file");
             case StrengthDraw::Uniform:
               break;
           }
           return std::string("uniform");
         },
     .Set =
         [](RunSettings& s, std::string_view v) {
           if (v == "uniform" || v == "file") {
             s.Strengths =
                 StrengthRule{.Draw = v == "file" ? StrengthDraw::Given : StrengthDraw::Uniform};
             return;
           }
           s.Strengths =
               StrengthRule{.Draw = StrengthDraw::Equal,
                            .Value = static_cast<std::uint8_t>(WholeOf(v.substr(v.find(':') + 1)))};
         }},
    {.Name = "noise",
     .Column = "noise",
     .Type = "T",
     .Help = "temperature of the update rule: above 0 a cell takes each opinion with "
             "probability exp(I/T) over the sum for all opinions (0: the greatest impact wins)",
     .Meaning = "temperature of the update rule (0: the greatest impact wins)",
     .Kind = ValueKind::Number,
     .Decimal = true,
     .Windows = false,
     .Reader = [](std::string_view t) { return RealText(t, 0.0, kMaxNoise); },
     .ReaderAccepts = "a decimal 0..1000000",
     .Get = [](const RunSettings& s) { return FixedDecimal(s.Noise); },
     .Set = [](RunSettings& s, std::string_view v) { s.Noise = RealOf(v); }},
    // A value is the file's name; the sweep loads each file (SweepPlan::
    // Starts) and the rows show the population's name, its digest.
    {.Name = "start",
     .Column = "start",
     .Type = "FILE",
     .Help = "start every run from the population in each FILE, as \"impactsim run --start\" "
             "does (a file name holding a comma cannot be given)",
     .Meaning = "the population the run started from: sha256:<hex> of its file's bytes",
     .Windows = false,
     .SweepOnly = true,
     .Reader = [](std::string_view t) -> std::optional<std::string> {
       if (t.empty()) return std::nullopt;
       return std::string(t);
     },
     .ReaderAccepts = "a file name",
     .ReaderListAccepts = "file names",
     .DefaultHelp = "none: the opinions are drawn",
     .Get = [](const RunSettings& s) { return s.Start ? s.Start->Name : std::string(); },
     .Set = [](RunSettings&, std::string_view) {}},
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

std::optional<std::string> SettingOption::Parse(std::string_view text) const {
  if (Reader != nullptr) return Reader(text);
  if (Items.empty()) {
    const auto value =
        ParseDigits(text, static_cast<std::uint64_t>(Low), static_cast<std::uint64_t>(High));
    if (!value) return std::nullopt;
    return std::to_string(*value);
  }
  for (const std::string_view item : Items) {
    if (item == text) return std::string(item);
  }
  return std::nullopt;
}

std::string SettingOption::Accepts(bool list) const {
  if (IsSwitch()) return list ? std::string(kSwitchListAccepts) : "no value";
  if (Reader != nullptr) {
    if (!list) return std::string(ReaderAccepts);
    return ListOf(std::string(ReaderListAccepts.empty() ? ReaderAccepts : ReaderListAccepts));
  }
  if (Items.empty()) {
    const std::string range = std::to_string(Low) + ".." + std::to_string(High);
    return list ? ListOf("integers " + range) : "an integer " + range;
  }
  return list ? ListOf(Texts(Items)) : OneOf(Texts(Items));
}

std::string ScopeText(const RingScope& scope) {
  return std::to_string(scope.Radius) + ":" + FixedDecimal(scope.Distance);
}

SettingColumns WindowsColumns() {
  SettingColumns columns = 0;
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (kSettings[i].Windows) columns |= SettingColumns{1} << i;
  }
  return columns;
}

std::string FixedDecimal(double value) {
  std::array<char, 400> text{};
  const auto [end, ec] =
      std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  return ec == std::errc() ? std::string(text.data(), end) : std::string();
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
    const std::string text =
        setting.DefaultHelp.empty() ? setting.Get(p->Defaults) : std::string(setting.DefaultHelp);
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
