// The settings beyond the windows' controls, as the command line offers them.

#include <algorithm>
#include <cmath>

#include "impact/ring_impact.h"
#include "model/grid.h"
#include "sweep/setting_texts.h"
#include "sweep/value_text.h"

namespace impactsim {

namespace {

constexpr int kMinSide = kMinGridSide;
constexpr int kMaxSide = kMaxGridSide;
constexpr int kMaxScopeRadius = kMaxRingRadius;
constexpr double kMaxScopeCutoff = 200.0;
constexpr double kMaxNoise = 1e6;

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

// Shares of opinions 1..K, one decimal 0..1 each, separated by ':' (or ','
// as one value), summing to 1 within kShareSumTolerance: "s1:...:sK".
std::optional<std::string> ReadShares(std::string_view text) {
  std::string shares;
  double sum = 0.0;
  std::size_t count = 0;
  while (true) {
    const std::size_t end = text.find_first_of(":,");
    const auto share = ReadReal(text.substr(0, end), 0.0, 1.0);
    if (!share || ++count > static_cast<std::size_t>(kMaxOpinions)) return std::nullopt;
    sum += *share;
    if (!shares.empty()) shares += ':';
    shares += FixedDecimal(*share);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  if (count < 2 || std::abs(sum - 1.0) > kShareSumTolerance) return std::nullopt;
  return shares;
}

constexpr std::array<SettingOption, kSettingCount - kWindowsSettingCount> kNewerSettings = {{
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
    {.Name = "opinions",
     .Column = "opinions",
     .Type = "K",
     .Help = "how many opinions the population holds (opinions 1..K)",
     .Meaning = "how many opinions the population held",
     .Low = 2,
     .High = kMaxOpinions,
     .Kind = ValueKind::Number,
     .Windows = false,
     .Get = [](const RunSettings& s) { return std::to_string(s.Opinions); },
     .Set = [](RunSettings& s,
               std::string_view v) { s.Opinions = static_cast<std::uint8_t>(WholeOf(v)); }},
    // Two shares at two opinions are the share of opinion 2: the run, its
    // rows and its identity are those of --initial-dist (ResolveShares).
    {.Name = "initial-shares",
     .Column = "initial_shares",
     .Type = "S1,...,SK",
     .Help = "each cell's chance of opinions 1..K at the start, one share per opinion of "
             "--opinions (instead of --initial-dist)",
     .Meaning = "each cell's chance of opinions 1..K at the start, as s1:...:sK",
     .Windows = false,
     .Reader = ReadShares,
     .ReaderAccepts = "2..16 decimals 0..1 separated by commas, summing to 1",
     .ReaderListAccepts = "S1:...:SK with 2..16 decimals 0..1, summing to 1",
     .DefaultHelp = "none: 1/K each, or --initial-dist with two opinions",
     .Get = [](const RunSettings& s) { return SharesText(s.InitialShares); },
     .Set =
         [](RunSettings& s, std::string_view v) {
           s.InitialShares.clear();
           for (std::size_t from = 0; from <= v.size();) {
             const std::size_t end = std::min(v.find(':', from), v.size());
             s.InitialShares.push_back(RealOf(v.substr(from, end - from)));
             from = end + 1;
           }
         }},
}};

}  // namespace

const std::array<SettingOption, kSettingCount - kWindowsSettingCount>& NewerSettingOptions() {
  return kNewerSettings;
}

}  // namespace impactsim
