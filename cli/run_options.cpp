#include "cli/run_options.h"

#include <utility>

#include <CLI/CLI.hpp>

#include "cli/output_target.h"
#include "model/random_source.h"
#include "programs/programs.h"

namespace impactsim::cli {

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
  censusCsv_.AddTo(command, std::string(kCensusCsvOption), "FILE",
                   "write round,changes,opinion1,opinion2 for round 0 and every round to FILE");
  gridOut_.AddTo(command, std::string(kGridOutOption), "FILE",
                 "write the final opinions to FILE, one line per row");
  mapPng_.AddTo(command, std::string(kMapPngOption), "FILE",
                "write the final map, as the window draws it, to FILE as a PNG image");
  chartPng_.AddTo(command, std::string(kChartPngOption), "FILE",
                  "write the evolution chart, as the window draws it, to FILE as a PNG image");
  series_.AddTo(command, std::string(kRunSeriesOption), "FILE",
                "write task,round,changes,opinion1,opinion2,clusters,like_neighbours for round 0 "
                "and every round to FILE, as a sweep's --series does (task 0)");
}

RunRequest RunOptions::Resolve() const {
  RunRequest request;
  request.Program = Programs()[0];
  if (const auto text = program_.Single(ProgramAccepts(false))) {
    request.Program = ProgramNamed(*text);
    if (request.Program == nullptr) throw program_.Rejected(ProgramAccepts(false), Quoted(*text));
  }
  const ProgramProfile& program = *request.Program;
  RunSettings& settings = request.Settings;
  settings = program.Defaults;

  if (const auto text = seed_.Single(kSeedAccepts)) {
    request.Seed = ParseSeed(*text);
    if (!request.Seed) throw seed_.Rejected(kSeedAccepts, Quoted(*text));
  }
  const auto& table = SettingOptions();
  const auto only = [&program](const SettingOption& setting, const CLI::Option* given) {
    if (given == nullptr || given->count() == 0 || setting.HasIn(program)) return;
    throw UsageError(OptionName(given) + ": only for --program " + ProgramsWith(setting) +
                     ", got --program " + std::string(program.Name));
  };
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (table[i].IsSwitch()) continue;
    const std::string accepts = table[i].Accepts(false);
    if (const auto text = values_[i].Single(accepts)) {
      const auto code = table[i].Parse(*text);
      if (!code) throw values_[i].Rejected(accepts, Quoted(*text));
      only(table[i], values_[i].Option);
      table[i].Set(settings, *code);
    }
  }
  // Switches the program does not have, then switches that say opposite things.
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    only(table[i], on_[i]);
    only(table[i], off_[i]);
  }
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (on_[i] == nullptr || off_[i] == nullptr) continue;
    if (on_[i]->count() > 0 && off_[i]->count() > 0) {
      throw UsageError(OptionName(off_[i]) + ": cannot be combined with " + OptionName(on_[i]));
    }
  }
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (on_[i] != nullptr && on_[i]->count() > 0) table[i].Set(settings, 1);
    if (off_[i] != nullptr && off_[i]->count() > 0) table[i].Set(settings, 0);
  }

  const std::pair<const TextOption*, std::string*> outputs[] = {
      {&censusCsv_, &request.CensusCsvPath},
      {&gridOut_, &request.GridOutPath},
      {&mapPng_, &request.MapPngPath},
      {&chartPng_, &request.ChartPngPath},
      {&series_, &request.SeriesPath}};
  for (const auto& [option, path] : outputs) {
    if (const auto text = option->Single(kFileAccepts)) *path = *text;
  }
  // No two outputs may share a file, however it is spelled: "a.csv" and
  // "./a.csv", a path through a link or "..", two hard links to one file.
  // A path whose target cannot be found is reported when its file is opened.
  std::optional<OutputTarget> targets[std::size(outputs)];
  for (std::size_t i = 0; i < std::size(outputs); ++i) {
    std::string ignored;
    if (!outputs[i].second->empty()) targets[i] = FindOutputTarget(*outputs[i].second, ignored);
    for (std::size_t j = 0; j < i; ++j) {
      if (!targets[i] || !targets[j] || !targets[i]->SameFileAs(*targets[j])) continue;
      throw UsageError(outputs[i].first->Name() + ": expects a file other than " +
                       outputs[j].first->Name() + "'s, got " + Quoted(*outputs[i].second));
    }
  }
  return request;
}

}  // namespace impactsim::cli
