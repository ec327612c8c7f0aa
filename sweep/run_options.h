#pragma once
// The options of "impactsim run": the program, the seed, one value of each
// run setting, and the output files; checked into a RunRequest.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "model/program_profile.h"
#include "model/run_settings.h"
#include "sweep/command_line_rules.h"
#include "sweep/setting_options.h"

namespace impactsim {

// The keys of the output options, for messages about the files.
inline constexpr const char* kCensusCsvKey = "census_csv";
inline constexpr const char* kGridOutKey = "grid_out";
inline constexpr const char* kPopulationOutKey = "population_out";
inline constexpr const char* kStartOutKey = "start_out";
inline constexpr const char* kMapPngKey = "map_png";
inline constexpr const char* kChartPngKey = "chart_png";
inline constexpr const char* kRunSeriesKey = "series";

// Everything a run needs, checked.
struct RunRequest {
  const ProgramProfile* Program = nullptr;
  std::optional<std::uint32_t> Seed;  // none: read the system clock once
  RunSettings Settings;
  std::string CensusCsvPath;      // empty: not written
  std::string GridOutPath;        // empty: not written
  std::string PopulationOutPath;  // final opinions and strengths; empty: not written
  std::string StartOutPath;       // the start population, likewise; empty: not written
  std::string MapPngPath;         // empty: not written
  std::string ChartPngPath;       // empty: not written
  std::string SeriesPath;         // empty: not written

  // Each output option's key and path, in the options' order.
  std::array<std::pair<const char*, std::string*>, 7> OutputFiles() {
    return {{{kCensusCsvKey, &CensusCsvPath},
             {kGridOutKey, &GridOutPath},
             {kPopulationOutKey, &PopulationOutPath},
             {kStartOutKey, &StartOutPath},
             {kMapPngKey, &MapPngPath},
             {kChartPngKey, &ChartPngPath},
             {kRunSeriesKey, &SeriesPath}}};
  }
};

class RunOptions {
 public:
  // Declares the options on the command; every value is taken as text so
  // that Resolve, after parsing, can check it and report it in the runner's
  // own words.
  void AddTo(CLI::App& command);

  // Checks what was given, in a fixed order, and throws InputError for the
  // first problem. Output paths are only checked for form here; whether they
  // can be written is found out by creating the files.
  RunRequest Resolve() const;

 private:
  Arguments Given() const;

  TextOption program_, seed_, start_, censusCsv_, gridOut_, populationOut_, startOut_, mapPng_,
      chartPng_, series_;
  std::array<TextOption, kSettingCount> values_;  // settings that take a value
  std::array<CLI::Option*, kSettingCount> on_{};  // switches, and their "off" twins
  std::array<CLI::Option*, kSettingCount> off_{};
};

}  // namespace impactsim
