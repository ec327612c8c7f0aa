#include "sweep/run_options.h"

#include <utility>

#include <CLI/CLI.hpp>

#include "model/random_source.h"
#include "programs/programs.h"
#include "sweep/output_target.h"
#include "sweep/setting_checks.h"
#include "sweep/start_file.h"
#include "sweep/text_escape.h"

namespace impactsim {

namespace {

const std::string kSeedAccepts =
    "an integer 0.." + std::to_string(kMillisecondsPerDay - 1) + " (milliseconds of the day)";
const std::string kFileAccepts = "a file name";

std::string Dashed(std::string_view name) {
  return "--" + std::string(name);
}

// "halvorn only" for a setting some programs lack, empty for the others.
std::string OnlyFor(const SettingOption& setting) {
  return setting.Has != nullptr ? ProgramsWith(setting) + " only" : std::string();
}

// The key of a switch's off twin ("no_edge"), empty for a switch without.
std::string OffKey(const SettingOption& setting) {
  return setting.OffName.empty() ? std::string() : KeyOfOption(setting.OffName);
}

}  // namespace

void RunOptions::AddTo(CLI::App& command) {
  program_.AddTo(command, "--program", "NAME",
                 "the program: " + ProgramAccepts(false) + " (default " +
                     std::string(Programs()[0]->Name) +
                     "); every other option defaults to this program's own setting");
  seed_.AddTo(command, "--seed", "MS",
              "the time of day every clock read of the run returns: " + kSeedAccepts +
                  " (default: the system clock, read once)");
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    const SettingOption& setting = SettingOptions()[i];
    if (setting.SweepOnly) continue;  // --start is the run's own, below
    const std::string only = OnlyFor(setting);
    if (!setting.IsSwitch()) {
      values_[i].AddTo(command, Dashed(setting.Name), std::string(setting.Type),
                       std::string(setting.Help) + ": " + setting.Accepts(false) + " (default " +
                           DefaultText(setting) + ")");
      continue;
    }
    on_[i] = AddSwitch(command, Dashed(setting.Name),
                       std::string(setting.Help) + " (" + (only.empty() ? "" : only + "; ") +
                           "default " + DefaultText(setting) + ")");
    if (!setting.OffName.empty()) {
      off_[i] = AddSwitch(command, Dashed(setting.OffName),
                          std::string(setting.OffHelp) + (only.empty() ? "" : " (" + only + ")"));
    }
  }
  start_.AddTo(command, "--start", "FILE",
               "start from the population in FILE (as --start-out writes it: rows of opinions, "
               "then optionally a blank line and rows of P/S strengths) instead of drawing the "
               "opinions; the draws are taken all the same, so the rest of the run draws what it "
               "would have; with --strengths file the strengths come from FILE too");
  censusCsv_.AddTo(command, "--census-csv", "FILE",
                   "write round,changes,opinion1,opinion2 (then opinion3 up to the last "
                   "opinion, with more than two) for round 0 and every round to FILE");
  gridOut_.AddTo(command, "--grid-out", "FILE",
                 "write the final opinions to FILE, one line per row, one character per cell "
                 "(1..9, then a..g for opinions 10..16)");
  populationOut_.AddTo(command, "--population-out", "FILE",
                       "write the final opinions as --grid-out does, then a blank line and one "
                       "line per row of P/S pairs (each cell's persuasiveness/supportiveness) to "
                       "FILE");
  startOut_.AddTo(command, "--start-out", "FILE",
                  "write the population the run started from to FILE as --population-out "
                  "does: a file for --start");
  mapPng_.AddTo(command, "--map-png", "FILE",
                "write the final map, as the window draws it, to FILE as a PNG image");
  chartPng_.AddTo(command, "--chart-png", "FILE",
                  "write the evolution chart, as the window draws it, to FILE as a PNG image");
  series_.AddTo(command, "--series", "FILE",
                "write task,round,changes,opinion1,opinion2,clusters,like_neighbours (with "
                "more than two opinions, opinion3 up to the last after opinion2) for round 0 "
                "and every round to FILE, as a sweep's --series does (task 0)");
}

Arguments RunOptions::Given() const {
  Arguments given;
  for (const TextOption* option : {&program_, &seed_, &start_, &censusCsv_, &gridOut_,
                                   &populationOut_, &startOut_, &mapPng_, &chartPng_, &series_}) {
    Collect(*option, given);
  }
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (values_[i].Option != nullptr) Collect(values_[i], given);
    Collect(on_[i], given);
    Collect(off_[i], given);
  }
  return given;
}

namespace {

// The settings' values, then switches the program does not have, then
// switches that say opposite things.
void ResolveSettings(const ArgumentReader& in, const ProgramProfile& program,
                     RunSettings& settings) {
  const auto& table = SettingOptions();
  const auto only = [&in, &program](const SettingOption& setting, const std::string& key) {
    if (key.empty() || !in.Present(key) || setting.HasIn(program)) return;
    throw InputError(key, "only for " + Ref("program") + " " + ProgramsWith(setting) + ", got " +
                              Ref("program") + " " + std::string(program.Name));
  };
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (table[i].IsSwitch() || table[i].SweepOnly) continue;
    const std::string key(table[i].Column);
    const std::string accepts = table[i].Accepts(false);
    if (const auto text = in.Single(key, accepts)) {
      const auto value = table[i].Parse(*text);
      if (!value) throw Rejected(key, accepts, Quoted(*text));
      only(table[i], key);
      table[i].Set(settings, *value);
    }
  }
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (!table[i].IsSwitch()) continue;
    only(table[i], std::string(table[i].Column));
    only(table[i], OffKey(table[i]));
  }
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    const std::string on(table[i].Column);
    const std::string off = OffKey(table[i]);
    if (!table[i].IsSwitch() || off.empty()) continue;
    if (in.Present(on) && in.Present(off)) {
      throw InputError(off, "cannot be combined with " + Ref(on));
    }
  }
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (!table[i].IsSwitch()) continue;
    if (in.Present(table[i].Column)) table[i].Set(settings, "on");
    if (in.Present(OffKey(table[i]))) table[i].Set(settings, "off");
  }
  if (in.Present("scope") && in.Present("wide_scope")) {
    throw InputError("scope", "cannot be combined with " + Ref("wide_scope"));
  }
  const auto path = in.Single("start", kFileAccepts);
  if (path) SetStart(program, ReadStartFile(*path).Population, Quoted(*path), "start", settings);
  ResolveShares(settings, in.Present("initial_dist"));
  CheckRunSettings(program, settings, path ? Quoted(*path) : std::string());
}

// The output files; no two may share a file, however it is spelled: "a.csv"
// and "./a.csv", a path through a link or "..", two hard links to one file.
// A path whose target cannot be found is reported when its file is opened.
void ResolveOutputs(const ArgumentReader& in, RunRequest& request) {
  const auto outputs = request.OutputFiles();
  for (const auto& [key, path] : outputs) {
    if (const auto text = in.Single(key, kFileAccepts)) *path = *text;
  }
  std::optional<OutputTarget> targets[std::size(outputs)];
  for (std::size_t i = 0; i < std::size(outputs); ++i) {
    std::string ignored;
    if (!outputs[i].second->empty()) targets[i] = FindOutputTarget(*outputs[i].second, ignored);
    for (std::size_t j = 0; j < i; ++j) {
      if (!targets[i] || !targets[j] || !targets[i]->SameFileAs(*targets[j])) continue;
      throw InputError(outputs[i].first, "expects a file other than " + Ref(outputs[j].first) +
                                             "'s, got " + Quoted(*outputs[i].second));
    }
  }
}

}  // namespace

RunRequest RunOptions::Resolve() const {
  const Arguments given = Given();
  const ArgumentReader in(given);
  RunRequest request;
  request.Program = Programs()[0];
  if (const auto text = in.Single("program", ProgramAccepts(false))) {
    request.Program = ProgramNamed(*text);
    if (request.Program == nullptr) throw Rejected("program", ProgramAccepts(false), Quoted(*text));
  }
  request.Settings = request.Program->Defaults;
  if (const auto text = in.Single("seed", kSeedAccepts)) {
    request.Seed = ParseSeed(*text);
    if (!request.Seed) throw Rejected("seed", kSeedAccepts, Quoted(*text));
  }
  ResolveSettings(in, *request.Program, request.Settings);
  ResolveOutputs(in, request);
  return request;
}

}  // namespace impactsim
