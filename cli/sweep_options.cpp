#include "cli/sweep_options.h"

#include <algorithm>
#include <limits>
#include <optional>

#include <CLI/CLI.hpp>

#include "model/random_source.h"
#include "programs/programs.h"

namespace impactsim::cli {

namespace {

const std::string kSeedsAccepts = "seeds 0.." + std::to_string(kMillisecondsPerDay - 1) +
                                  " as a range A-B or " + ListOf("seeds and ranges");
const std::string kFormatAccepts = "csv or jsonl";
const std::string kShardAccepts = "K/N with 0 <= K < N";
const std::string kJobsAccepts = "an integer 1.." + std::to_string(kMaxJobs);
const std::string kFileAccepts = "a file name";
const std::string kRepeatsAccepts = "an integer 1..2147483647";

// Parses every item of a list option; a value given twice is an error.
template <typename T, typename Parse>
std::vector<T> ParseList(const TextOption& option, const std::string& accepts, Parse parse,
                         const char* bare = nullptr) {
  std::vector<T> values;
  for (const std::string& item : option.Items(accepts, bare)) {
    const std::optional<T> value = parse(item);
    if (!value) throw option.Rejected(accepts, Quoted(item));
    if (std::find(values.begin(), values.end(), *value) != values.end()) {
      throw UsageError(option.Name() + ": expects each value once, got " + Quoted(item) + " again");
    }
    values.push_back(*value);
  }
  return values;
}

}  // namespace

void SweepOptions::AddTo(CLI::App& command) {
  const std::string defaults = " (default: each program's own)";
  command.footer(
      "Every row is the run \"impactsim run --seed SEED\" makes with the row's settings,\n"
      "unless --stop-on-cycle ends it earlier.\n"
      "Exit status: 0 done, 1 a run or a write failed, 2 bad input (nothing run, no file "
      "changed).");

  program_.AddTo(
      command, "--program", "LIST",
      "programs: " + ProgramAccepts(true) + " (default " + std::string(Programs()[0]->Name) + ")");
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    const SettingOption& setting = SettingOptions()[i];
    const std::string name = "--" + std::string(setting.Name);
    const std::string only =
        setting.Has != nullptr ? "; " + ProgramsWith(setting) + " only" : std::string();
    settings_[i].AddTo(command, name, setting.IsSwitch() ? "[LIST]" : "LIST",
                       std::string(setting.Help) + ": " + setting.Accepts(true) + only + defaults);
    if (!setting.OffName.empty()) {
      off_[i] =
          AddSwitch(command, "--" + std::string(setting.OffName), "the same as " + name + " off");
    }
  }
  seeds_.AddTo(command, "--seeds", "SEEDS",
               "required: " + kSeedsAccepts + ", e.g. 0-999 or 5,17,20-29");
  format_.AddTo(command, "--format", "FORMAT", "rows as " + kFormatAccepts + " (default csv)");
  shard_.AddTo(command, "--shard", "K/N",
               "run only the tasks whose number mod N is K (default 0/1)");
  jobs_.AddTo(command, "--jobs", "N",
              "threads: " + kJobsAccepts +
                  ", at most one per processor the sweep may run on, so that rows keep coming "
                  "in order (default: one per processor)");
  out_.AddTo(command, "--out", "FILE",
             "write the rows to FILE, and FILE.meta.json, instead of stdout");
  series_.AddTo(command, "--series", "FILE",
                "also write every round of every run to FILE (task, round, changes, census, "
                "clusters, like_neighbours), in the --format of the rows; needs --out");
  stopOnCycle_.AddTo(command, "--stop-on-cycle", "N",
                     "end a run once its opinion pattern has gone through a cycle of period 2 to "
                     "64 rounds N more times (" +
                         kRepeatsAccepts + "; default: runs stop only as the windows' do)");
  resume_ =
      AddSwitch(command, "--resume", "continue --out FILE: keep its rows, run the tasks it lacks");
  list_ = AddSwitch(command, "--list", "print the numbered tasks on stdout without running them");
  quiet_ = AddSwitch(command, "--quiet", "no progress bar on stderr");
}

SweepRequest SweepOptions::Resolve() const {
  SweepRequest request;
  SweepPlan& plan = request.Plan;
  plan.Programs = ParseList<const ProgramProfile*>(
      program_, ProgramAccepts(true),
      [](const std::string& t) -> std::optional<const ProgramProfile*> {
        const ProgramProfile* p = ProgramNamed(t);
        return p != nullptr ? std::optional(p) : std::nullopt;
      });
  if (plan.Programs.empty()) plan.Programs.push_back(Programs()[0]);

  for (std::size_t i = 0; i < kSettingCount; ++i) {
    const SettingOption& setting = SettingOptions()[i];
    const TextOption& option = settings_[i];
    std::vector<std::int32_t>& values = plan.Values[i];
    values = ParseList<std::int32_t>(
        option, setting.Accepts(true),
        [&setting](const std::string& t) { return setting.Parse(t); },
        setting.IsSwitch() ? "on" : nullptr);
    if (off_[i] != nullptr && off_[i]->count() > 0) {
      if (!values.empty()) {
        throw UsageError(OptionName(off_[i]) + ": cannot be combined with " + option.Name());
      }
      values = {0};
    }
    for (const ProgramProfile* p : plan.Programs) {
      if (setting.HasIn(*p)) continue;
      for (const CLI::Option* given : {option.Option, off_[i]}) {
        if (given != nullptr && given->count() > 0) {
          throw UsageError(OptionName(given) + ": only for --program " + ProgramsWith(setting) +
                           ", got --program " + std::string(p->Name));
        }
      }
    }
  }

  if (!seeds_.Present()) throw UsageError(seeds_.Name() + ": required: " + kSeedsAccepts);
  for (const std::string& item : seeds_.Items(kSeedsAccepts)) {
    const std::size_t dash = item.find('-');
    const auto first = ParseSeed(std::string_view(item).substr(0, dash));
    const auto last =
        dash == std::string::npos ? first : ParseSeed(std::string_view(item).substr(dash + 1));
    if (!first || !last) throw seeds_.Rejected(kSeedsAccepts, Quoted(item));
    if (*first > *last) throw seeds_.Rejected("a range A-B with A <= B", Quoted(item));
    plan.Seeds.Append(*first, *last);
  }
  if (std::uint32_t seed = 0; plan.Seeds.FindRepeat(seed)) {
    throw UsageError(seeds_.Name() + ": expects each seed once, got " + std::to_string(seed) +
                     " again");
  }
  if (plan.TaskCount() == 0) {
    throw UsageError(seeds_.Name() + ": the sweep would have more than " +
                     std::to_string(std::numeric_limits<std::uint64_t>::max()) + " tasks");
  }

  if (const auto text = format_.Single(kFormatAccepts)) {
    if (*text == "csv") {
      request.Format = RowFormat::Csv;
    } else if (*text == "jsonl") {
      request.Format = RowFormat::Jsonl;
    } else {
      throw format_.Rejected(kFormatAccepts, Quoted(*text));
    }
  }
  if (const auto text = shard_.Single(kShardAccepts)) {
    const std::size_t slash = text->find('/');
    const std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    const auto index = ParseDigits(std::string_view(*text).substr(0, slash), 0, max);
    const auto count = slash == std::string::npos
                           ? std::nullopt
                           : ParseDigits(std::string_view(*text).substr(slash + 1), 1, max);
    if (!index || !count || *index >= *count) {
      throw shard_.Rejected(kShardAccepts, Quoted(*text));
    }
    request.Part = {*index, *count};
  }
  request.Jobs = DefaultJobs();
  if (const auto text = jobs_.Single(kJobsAccepts)) {
    const auto jobs = ParseDigits(*text, 1, kMaxJobs);
    if (!jobs) throw jobs_.Rejected(kJobsAccepts, Quoted(*text));
    request.Jobs = ThreadsFor(static_cast<unsigned>(*jobs));
  }
  if (const auto path = out_.Single(kFileAccepts)) request.OutPath = *path;
  if (const auto path = series_.Single(kFileAccepts)) request.SeriesPath = *path;
  if (const auto text = stopOnCycle_.Single(kRepeatsAccepts)) {
    const auto repeats = ParseDigits(*text, 1, std::numeric_limits<std::int32_t>::max());
    if (!repeats) throw stopOnCycle_.Rejected(kRepeatsAccepts, Quoted(*text));
    plan.StopOnCycle = static_cast<std::int32_t>(*repeats);
  }

  request.Resume = resume_->count() > 0;
  request.List = list_->count() > 0;
  request.Quiet = quiet_->count() > 0;
  if (request.Resume && request.OutPath.empty()) {
    throw UsageError(OptionName(resume_) + ": needs --out FILE, the file to continue");
  }
  if (!request.SeriesPath.empty() && request.OutPath.empty()) {
    throw UsageError(series_.Name() + ": needs --out FILE, the rows the series belongs to");
  }
  if (request.List && !request.SeriesPath.empty()) {
    throw UsageError(OptionName(list_) + ": prints the tasks on stdout, cannot be combined with " +
                     series_.Name());
  }
  if (request.List && !request.OutPath.empty()) {
    throw UsageError(OptionName(list_) + ": prints the tasks on stdout, cannot be combined with " +
                     out_.Name());
  }
  return request;
}

}  // namespace impactsim::cli
