// The windows' eight settings, as the command line offers them.

#include <limits>

#include "model/grid.h"
#include "sweep/setting_texts.h"

namespace impactsim {

namespace {

constexpr double kMaxPower = 64.0;

std::optional<std::string> ReadDistance(std::string_view text) {
  if (text == "nb") return std::string(text);
  return RealText(text, 0.0, kMaxPower);
}

constexpr std::array<SettingOption, kWindowsSettingCount> kWindowsSettings = {{

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
     .Meaning = "initial share of opinion 2; empty or null with more than two opinions",
     .Kind = ValueKind::Number,
     .Decimal = true,
     .Reader = [](std::string_view t) { return RealText(t, 0.0, 1.0); },
     .ReaderAccepts = "a decimal 0..1 (the windows offer 0.4, 0.3, 0.2, 0.1)",
     // None with more than two opinions, whose run does not read it.
     .Get =
         [](const RunSettings& s) {
           return s.Opinions > 2 ? std::string() : FixedDecimal(s.InitialShare);
         },
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
}};

}  // namespace

const std::array<SettingOption, kWindowsSettingCount>& WindowsSettingOptions() {
  return kWindowsSettings;
}

}  // namespace impactsim
