#pragma once
// The options that set up one run (program, seed, run settings, output
// files), declared once so every command that runs the simulation offers the
// same names, and checked into a RunRequest.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "program_spec.h"
#include "run_settings.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace impactsim::cli {

// Exit statuses of the runner.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // an output could not be written after the run
inline constexpr int kExitUsage = 2;   // bad command line or unwritable output path

// Names of the output options, for messages about the files.
inline constexpr std::string_view kCensusCsvOption = "--census-csv";
inline constexpr std::string_view kGridOutOption = "--grid-out";
inline constexpr std::string_view kMapPngOption = "--map-png";
inline constexpr std::string_view kChartPngOption = "--chart-png";

// Bad input. The message is one line without the "impactsim: " prefix; it
// names the option and says what the option accepts.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Everything a run needs, checked.
struct RunRequest {
  const ProgramSpec* Program = nullptr;
  std::optional<std::uint32_t> Seed;  // none: read the system clock once
  RunSettings Settings;
  std::string CensusCsvPath;  // empty: not written
  std::string GridOutPath;    // empty: not written
  std::string MapPngPath;     // empty: not written
  std::string ChartPngPath;   // empty: not written
};

// The run options of one command. AddTo declares them on the command; every
// value is taken as text so that Resolve, after parsing, can check it and
// report it in the runner's own words.
class RunOptions {
 public:
  void AddTo(CLI::App& command);

  // Checks what was given, in a fixed order, and throws UsageError for the
  // first problem. Output paths are only checked for form here; whether they
  // can be written is found out by creating the files.
  RunRequest Resolve() const;

 private:
  // A value option: every occurrence is kept so that repeats and missing
  // values can be told apart from absence.
  struct Value {
    std::vector<std::string> Given;
    CLI::Option* Option = nullptr;
  };

  Value program_, seed_, rounds_, initialDist_, distance_, censusCsv_, gridOut_, mapPng_, chartPng_;
  CLI::Option* edge_ = nullptr;
  CLI::Option* noEdge_ = nullptr;
  CLI::Option* wideScope_ = nullptr;
  CLI::Option* removeSelf_ = nullptr;
  CLI::Option* summation_ = nullptr;
  CLI::Option* sequential_ = nullptr;
  CLI::Option* simultaneous_ = nullptr;
};

// Declares an option whose values are taken as text: zero or one value per
// occurrence, every occurrence kept, so that a missing value arrives as an
// empty string instead of swallowing the next option, and repeats can be
// told apart from absence when the values are checked.
CLI::Option* AddTextOption(CLI::App& command, std::vector<std::string>& given,
                           const std::string& name, const std::string& type,
                           const std::string& help);

// Parsers for the option values; each returns nothing for text it does not
// accept. Integers are plain decimal digits, nothing else.
std::optional<std::uint32_t> ParseSeed(const std::string& text);
std::optional<std::int32_t> ParseRounds(const std::string& text);
std::optional<int> ParseInitialDist(const std::string& text);
std::optional<DistancePar> ParseDistance(const std::string& text);
const ProgramSpec* ParseProgram(const std::string& text);

}  // namespace impactsim::cli
