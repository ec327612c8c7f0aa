#include "run_options.h"

#include <array>
#include <charconv>
#include <filesystem>
#include <limits>
#include <string_view>
#include <system_error>

#include <CLI/CLI.hpp>

#include "halvorn_program.h"
#include "kestane_program.h"
#include "random_source.h"

namespace impactsim::cli {

namespace {

// Option values as typed, by item index.
constexpr std::array<std::string_view, 4> kInitialDistText = {"0.4", "0.3", "0.2", "0.1"};
static_assert(kInitialDistText.size() == kInitialDistItems.size());
constexpr std::array<std::string_view, 6> kDistanceText = {"nb", "0", "1", "2", "3", "4"};

constexpr std::int32_t kMaxRounds = std::numeric_limits<std::int32_t>::max();

// What each value option accepts, as the help and the error messages say it.
const std::string kProgramAccepts = "halvorn or kestane";
const std::string kSeedAccepts =
    "an integer 0.." + std::to_string(kMillisecondsPerDay - 1) + " (milliseconds of the day)";
const std::string kRoundsAccepts = "an integer 1.." + std::to_string(kMaxRounds);
const std::string kInitialDistAccepts = "0.4, 0.3, 0.2 or 0.1";
const std::string kDistanceAccepts = "nb, 0, 1, 2, 3 or 4";
const std::string kFileAccepts = "a file name";

const std::array<const ProgramSpec*, 2>& Programs() {
  static const std::array<const ProgramSpec*, 2> programs = {&HalvornProgram(), &KestaneProgram()};
  return programs;
}

// "halvorn 500, kestane 50", or one value when both programs agree.
template <typename Show>
std::string PerProgram(Show show) {
  const std::string first = show(Programs()[0]->Defaults);
  std::string joined;
  bool allSame = true;
  for (const ProgramSpec* p : Programs()) {
    const std::string text = show(p->Defaults);
    allSame = allSame && text == first;
    if (!joined.empty()) joined += ", ";
    joined += std::string(p->Name) + " " + text;
  }
  return allSame ? first : joined;
}

// The programs that offer a setting, for "only for --program ..." messages.
std::string ProgramsWith(bool ProgramSpec::*has) {
  std::string names;
  for (const ProgramSpec* p : Programs()) {
    if (!(p->*has)) continue;
    if (!names.empty()) names += " or ";
    names += p->Name;
  }
  return names;
}

template <typename Int>
std::optional<Int> ParseDigits(const std::string& text, Int low, Int high) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  if (value < static_cast<std::uint64_t>(low) || value > static_cast<std::uint64_t>(high)) {
    return std::nullopt;
  }
  return static_cast<Int>(value);
}

template <std::size_t N>
std::optional<std::size_t> ItemIndex(const std::array<std::string_view, N>& items,
                                     const std::string& text) {
  for (std::size_t i = 0; i < N; ++i) {
    if (items[i] == text) return i;
  }
  return std::nullopt;
}

std::string OptionName(const CLI::Option* option) {
  return option->get_name();
}

std::string YesNo(bool on) {
  return on ? "on" : "off";
}

// Paths compared after resolving what exists of them, so "a.csv" and "./a.csv"
// count as the same file.
std::filesystem::path Resolved(const std::string& path) {
  std::error_code ec;
  std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
  if (ec) return std::filesystem::path(path).lexically_normal();
  return resolved;
}

}  // namespace

std::optional<std::uint32_t> ParseSeed(const std::string& text) {
  return ParseDigits<std::uint32_t>(text, 0, kMillisecondsPerDay - 1);
}

std::optional<std::int32_t> ParseRounds(const std::string& text) {
  return ParseDigits<std::int32_t>(text, 1, kMaxRounds);
}

std::optional<int> ParseInitialDist(const std::string& text) {
  const auto index = ItemIndex(kInitialDistText, text);
  if (!index) return std::nullopt;
  return static_cast<int>(*index);
}

std::optional<DistancePar> ParseDistance(const std::string& text) {
  const auto index = ItemIndex(kDistanceText, text);
  if (!index) return std::nullopt;
  return static_cast<DistancePar>(*index);
}

const ProgramSpec* ParseProgram(const std::string& text) {
  for (const ProgramSpec* p : Programs()) {
    if (p->Name == text) return p;
  }
  return nullptr;
}

CLI::Option* AddTextOption(CLI::App& command, std::vector<std::string>& given,
                           const std::string& name, const std::string& type,
                           const std::string& help) {
  return command.add_option(name, given, help)
      ->type_name(type)
      ->expected(0, 1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

void RunOptions::AddTo(CLI::App& command) {
  const auto value = [&command](Value& v, const std::string& name, const std::string& type,
                                const std::string& help) {
    v.Option = AddTextOption(command, v.Given, name, type, help);
  };
  const auto flag = [&command](const std::string& name, const std::string& help) {
    return command.add_flag(name)->description(help)->disable_flag_override();
  };

  value(program_, "--program", "NAME",
        "the program: " + kProgramAccepts + " (default " + std::string(Programs()[0]->Name) +
            "); every other option defaults to this program's own setting");
  value(seed_, "--seed", "MS",
        "the time of day every clock read of the run returns: " + kSeedAccepts +
            " (default: the system clock, read once)");
  value(rounds_, "--rounds", "N",
        "rounds at most: " + kRoundsAccepts + " (default " +
            PerProgram([](const RunSettings& s) { return std::to_string(s.Rounds); }) + ")");
  value(initialDist_, "--initial-dist", "P",
        "initial share of opinion 2: " + kInitialDistAccepts + " (default " +
            PerProgram([](const RunSettings& s) {
              return std::string(kInitialDistText[static_cast<std::size_t>(s.InitialDistIndex)]);
            }) +
            ")");
  value(distance_, "--distance", "D",
        "power of distance that divides a source's strength: " + kDistanceAccepts +
            "; nb also keeps ring neighbourhoods to ring 1 (default " +
            PerProgram([](const RunSettings& s) {
              return std::string(kDistanceText[static_cast<std::size_t>(s.Distance)]);
            }) +
            ")");
  edge_ = flag("--edge", "bounded grid (" + ProgramsWith(&ProgramSpec::HasEdge) +
                             " only; default " + YesNo(HalvornProgram().Defaults.Edge) + ")");
  noEdge_ = flag("--no-edge", "torus instead of a bounded grid (" +
                                  ProgramsWith(&ProgramSpec::HasEdge) + " only)");
  wideScope_ = flag("--wide-scope", "neighbourhood scope 29 / 19.0 instead of 17 / 10.0 (" +
                                        ProgramsWith(&ProgramSpec::HasWideScope) + " only)");
  removeSelf_ = flag("--remove-self", "leave the target's own voice out (" +
                                          ProgramsWith(&ProgramSpec::HasRemoveSelf) + " only)");
  summation_ = flag("--summation", "plain sums of impact instead of root-damped averages");
  sequential_ = flag("--sequential",
                     "update cells one after another on the current population (default " +
                         PerProgram([](const RunSettings& s) { return YesNo(s.RandomSeq); }) + ")");
  simultaneous_ =
      flag("--simultaneous", "update all cells from the population at the start of the round");
  value(censusCsv_, std::string(kCensusCsvOption), "FILE",
        "write round,changes,opinion1,opinion2 for round 0 and every round to FILE");
  value(gridOut_, std::string(kGridOutOption), "FILE",
        "write the final opinions to FILE, one line per row");
  value(mapPng_, std::string(kMapPngOption), "FILE",
        "write the final map, as the window draws it, to FILE as a PNG image");
  value(chartPng_, std::string(kChartPngOption), "FILE",
        "write the evolution chart, as the window draws it, to FILE as a PNG image");
}

RunRequest RunOptions::Resolve() const {
  // The one value of an option, or nothing when it was not given.
  const auto single = [](const Value& v, const std::string& accepts) -> std::optional<std::string> {
    const std::string name = OptionName(v.Option);
    if (v.Given.empty()) return std::nullopt;
    if (v.Given.size() > 1) throw UsageError(name + ": given more than once");
    if (v.Given[0].empty()) throw UsageError(name + ": expects " + accepts + ", got no value");
    return v.Given[0];
  };
  const auto rejected = [](const Value& v, const std::string& accepts, const std::string& text) {
    return UsageError(OptionName(v.Option) + ": expects " + accepts + ", got '" + text + "'");
  };

  RunRequest request;
  request.Program = Programs()[0];
  if (const auto text = single(program_, kProgramAccepts)) {
    request.Program = ParseProgram(*text);
    if (request.Program == nullptr) throw rejected(program_, kProgramAccepts, *text);
  }
  const ProgramSpec& program = *request.Program;
  RunSettings& settings = request.Settings;
  settings = program.Defaults;

  if (const auto text = single(seed_, kSeedAccepts)) {
    request.Seed = ParseSeed(*text);
    if (!request.Seed) throw rejected(seed_, kSeedAccepts, *text);
  }
  if (const auto text = single(rounds_, kRoundsAccepts)) {
    const auto rounds = ParseRounds(*text);
    if (!rounds) throw rejected(rounds_, kRoundsAccepts, *text);
    settings.Rounds = *rounds;
  }
  if (const auto text = single(initialDist_, kInitialDistAccepts)) {
    const auto index = ParseInitialDist(*text);
    if (!index) throw rejected(initialDist_, kInitialDistAccepts, *text);
    settings.InitialDistIndex = *index;
  }
  if (const auto text = single(distance_, kDistanceAccepts)) {
    const auto distance = ParseDistance(*text);
    if (!distance) throw rejected(distance_, kDistanceAccepts, *text);
    settings.Distance = *distance;
  }

  // Settings the program does not have.
  const struct {
    CLI::Option* Option;
    bool ProgramSpec::*Has;
  } programOnly[] = {{edge_, &ProgramSpec::HasEdge},
                     {noEdge_, &ProgramSpec::HasEdge},
                     {wideScope_, &ProgramSpec::HasWideScope},
                     {removeSelf_, &ProgramSpec::HasRemoveSelf}};
  for (const auto& only : programOnly) {
    if (only.Option->count() > 0 && !(program.*only.Has)) {
      throw UsageError(OptionName(only.Option) + ": only for --program " + ProgramsWith(only.Has) +
                       ", got --program " + std::string(program.Name));
    }
  }
  // Switches that say opposite things.
  const std::pair<CLI::Option*, CLI::Option*> opposites[] = {{edge_, noEdge_},
                                                             {sequential_, simultaneous_}};
  for (const auto& [on, off] : opposites) {
    if (on->count() > 0 && off->count() > 0) {
      throw UsageError(OptionName(off) + ": cannot be combined with " + OptionName(on));
    }
  }
  if (edge_->count() > 0) settings.Edge = true;
  if (noEdge_->count() > 0) settings.Edge = false;
  if (wideScope_->count() > 0) settings.WideScope = true;
  if (removeSelf_->count() > 0) settings.RemoveSelf = true;
  if (summation_->count() > 0) settings.SummationM = true;
  if (sequential_->count() > 0) settings.RandomSeq = true;
  if (simultaneous_->count() > 0) settings.RandomSeq = false;

  if (const auto path = single(censusCsv_, kFileAccepts)) request.CensusCsvPath = *path;
  if (const auto path = single(gridOut_, kFileAccepts)) request.GridOutPath = *path;
  if (const auto path = single(mapPng_, kFileAccepts)) request.MapPngPath = *path;
  if (const auto path = single(chartPng_, kFileAccepts)) request.ChartPngPath = *path;
  // No two outputs may share a file.
  const std::pair<const Value*, const std::string*> outputs[] = {
      {&censusCsv_, &request.CensusCsvPath},
      {&gridOut_, &request.GridOutPath},
      {&mapPng_, &request.MapPngPath},
      {&chartPng_, &request.ChartPngPath}};
  for (std::size_t i = 0; i < std::size(outputs); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      const std::string& a = *outputs[j].second;
      const std::string& b = *outputs[i].second;
      if (a.empty() || b.empty() || Resolved(a) != Resolved(b)) continue;
      throw UsageError(OptionName(outputs[i].first->Option) + ": expects a file other than " +
                       OptionName(outputs[j].first->Option) + "'s, got '" + b + "'");
    }
  }
  return request;
}

}  // namespace impactsim::cli
