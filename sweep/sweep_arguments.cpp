#include "sweep/sweep_arguments.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <utility>

#include "model/random_source.h"
#include "programs/programs.h"
#include "sweep/arguments.h"
#include "sweep/setting_checks.h"
#include "sweep/setting_options.h"
#include "sweep/spread_seeds.h"
#include "sweep/start_file.h"
#include "sweep/sweep_runner.h"
#include "sweep/text_escape.h"
#include "sweep/value_text.h"

namespace impactsim {

namespace {

constexpr std::uint64_t kMaxTasks = std::numeric_limits<std::uint64_t>::max();
const std::string kSeedRange = "seeds 0.." + std::to_string(kMillisecondsPerDay - 1);
const std::string kSeedsAccepts =
    kSeedRange + " as a range A-B, spread:N[:K] or " + ListOf("these");
const std::string kSpreadAccepts = "spread:N or spread:N:K with N 1.." +
                                   std::to_string(kMillisecondsPerDay) + " and K 0..4294967295";
const std::string kFormatAccepts = "csv or jsonl";
const std::string kShardAccepts = "K/N with 0 <= K < N";
const std::string kJobsAccepts = "an integer 1.." + std::to_string(kMaxJobs);
const std::string kFileAccepts = "a file name";
const std::string kRepeatsAccepts = "an integer 1..2147483647";

std::string OffKey(const SettingOption& setting) {
  return KeyOfOption(setting.OffName);
}

void ResolveSettings(const ArgumentReader& in, SweepPlan& plan) {
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    const SettingOption& setting = SettingOptions()[i];
    const std::string key(setting.Column);
    const std::string accepts =
        setting.IsSwitch() && !in.Lists() && !in.Given().SwitchAccepts.empty()
            ? in.Given().SwitchAccepts
            : setting.Accepts(in.Lists());
    std::vector<std::string>& values = plan.Values[i];
    values = in.List<std::string>(
        key, accepts, [&setting](const std::string& t) { return setting.Parse(t); },
        setting.IsSwitch() ? "on" : nullptr);
    const std::string off = setting.OffName.empty() ? std::string() : OffKey(setting);
    if (!off.empty() && in.Present(off)) {
      if (!values.empty()) throw InputError(off, "cannot be combined with " + Ref(key));
      values = {"off"};
    }
    for (const ProgramProfile* p : plan.Programs) {
      if (setting.HasIn(*p)) continue;
      for (const std::string& given : {key, off}) {
        if (given.empty() || !in.Present(given)) continue;
        throw InputError(given, "only for " + Ref("program") + " " + ProgramsWith(setting) +
                                    ", got " + Ref("program") + " " + std::string(p->Name));
      }
    }
  }
}

// Each start file of the list, loaded once and named by its digest.
void LoadStarts(SweepPlan& plan) {
  for (const std::string& path : plan.Values[kStartSetting]) {
    StartFile file = ReadStartFile(path);
    for (const StartFile& earlier : plan.Starts) {
      if (earlier.Sha256 == file.Sha256) {
        throw InputError("start", "expects each population once, got " + Quoted(path) +
                                      " with the bytes of an earlier file");
      }
    }
    auto named = std::make_shared<StartPopulation>(*file.Population);
    named->Name = "sha256:" + file.Sha256;
    file.Population = std::move(named);
    plan.Starts.push_back(std::move(file));
  }
}

// A list of a setting beyond the windows that holds only what every
// program of the sweep opens with is left out: such a sweep is, byte for
// byte, the sweep without it.
void DropDefaultLists(SweepPlan& plan) {
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    const SettingOption& setting = SettingOptions()[i];
    std::vector<std::string>& values = plan.Values[i];
    if (setting.Windows || values.size() != 1) continue;
    const bool onlyDefaults = std::ranges::all_of(plan.Programs, [&](const ProgramProfile* p) {
      return !setting.HasIn(*p) || setting.Get(p->Defaults) == values[0];
    });
    if (onlyDefaults) values.clear();
  }
}

void ResolveSeeds(const ArgumentReader& in, SweepPlan& plan) {
  const std::string accepts = in.Lists() ? kSeedsAccepts : kSeedRange;
  if (!in.Present("seeds")) throw InputError("seeds", "required: " + accepts);
  for (const std::string& item : in.Items("seeds", accepts, nullptr)) {
    if (IsSpreadText(item)) {
      const auto spread = ParseSpread(item);
      if (!spread) throw Rejected("seeds", kSpreadAccepts, Quoted(item));
      plan.Seeds.Append(*spread);
      continue;
    }
    const std::size_t dash = item.find('-');
    const auto first = ParseSeed(std::string_view(item).substr(0, dash));
    const auto last =
        dash == std::string::npos ? first : ParseSeed(std::string_view(item).substr(dash + 1));
    if (!first || !last) throw Rejected("seeds", accepts, Quoted(item));
    if (*first > *last) throw Rejected("seeds", "a range A-B with A <= B", Quoted(item));
    plan.Seeds.Append(*first, *last);
  }
  if (std::uint32_t seed = 0; plan.Seeds.FindRepeat(seed)) {
    throw InputError("seeds", "expects each seed once, got " + std::to_string(seed) + " again");
  }
  if (plan.TaskCount() == 0) {
    throw InputError("seeds",
                     "the sweep would have more than " + std::to_string(kMaxTasks) + " tasks");
  }
}

void ResolveRunning(const ArgumentReader& in, SweepRequest& request) {
  if (const auto text = in.Single("format", kFormatAccepts)) {
    if (*text == "csv") {
      request.Format = RowFormat::Csv;
    } else if (*text == "jsonl") {
      request.Format = RowFormat::Jsonl;
    } else {
      throw Rejected("format", kFormatAccepts, Quoted(*text));
    }
  }
  if (const auto text = in.Single("shard", kShardAccepts)) {
    const std::size_t slash = text->find('/');
    const auto index = ParseDigits(std::string_view(*text).substr(0, slash), 0, kMaxTasks);
    const auto count = slash == std::string::npos
                           ? std::nullopt
                           : ParseDigits(std::string_view(*text).substr(slash + 1), 1, kMaxTasks);
    if (!index || !count || *index >= *count) throw Rejected("shard", kShardAccepts, Quoted(*text));
    request.Part = {*index, *count};
  }
  request.Jobs = ResolveJobs(in);
  if (const auto path = in.Single("out", kFileAccepts)) request.OutPath = *path;
  if (const auto path = in.Single("series", kFileAccepts)) request.SeriesPath = *path;
  if (const auto text = in.Single("stop_on_cycle", kRepeatsAccepts)) {
    const auto repeats = ParseDigits(*text, 1, std::numeric_limits<std::int32_t>::max());
    if (!repeats) throw Rejected("stop_on_cycle", kRepeatsAccepts, Quoted(*text));
    request.Plan.StopOnCycle = static_cast<std::int32_t>(*repeats);
  }
}

void CheckCombinations(const ArgumentReader& in, SweepRequest& request) {
  request.Resume = in.Present("resume");
  request.List = in.Present("list");
  request.Quiet = in.Present("quiet");
  if (request.Resume && request.OutPath.empty()) {
    throw InputError("resume", "needs " + Ref("out") + " FILE, the file to continue");
  }
  if (!request.SeriesPath.empty() && request.OutPath.empty()) {
    throw InputError("series", "needs " + Ref("out") + " FILE, the rows the series belongs to");
  }
  const std::pair<const char*, const std::string*> files[] = {{"series", &request.SeriesPath},
                                                              {"out", &request.OutPath}};
  for (const auto& [key, path] : files) {
    if (request.List && !path->empty()) {
      throw InputError("list", "prints the tasks on stdout, cannot be combined with " + Ref(key));
    }
  }
}

}  // namespace

unsigned ResolveJobs(const ArgumentReader& in) {
  const auto text = in.Single("jobs", kJobsAccepts);
  if (!text) return DefaultJobs();
  const auto jobs = ParseDigits(*text, 1, kMaxJobs);
  if (!jobs) throw Rejected("jobs", kJobsAccepts, Quoted(*text));
  return ThreadsFor(static_cast<unsigned>(*jobs));
}

SweepRequest ResolveSweep(const Arguments& arguments) {
  const ArgumentReader in(arguments);
  SweepRequest request;
  SweepPlan& plan = request.Plan;
  plan.Programs = in.List<const ProgramProfile*>(
      "program", ProgramAccepts(in.Lists()),
      [](const std::string& t) -> std::optional<const ProgramProfile*> {
        const ProgramProfile* p = ProgramNamed(t);
        return p != nullptr ? std::optional(p) : std::nullopt;
      });
  if (plan.Programs.empty()) plan.Programs.push_back(Programs()[0]);
  ResolveSettings(in, plan);
  LoadStarts(plan);
  ResolveScopes(plan);
  ResolveShares(plan);
  DropDefaultLists(plan);
  CheckSettingCombinations(plan);
  ResolveSeeds(in, plan);
  ResolveRunning(in, request);
  CheckCombinations(in, request);
  return request;
}

std::vector<std::string> CommandLineOf(const SweepRequest& request) {
  const SweepPlan& plan = request.Plan;
  std::vector<std::string> args = {"sweep"};
  const auto add = [&args](const std::string& key, const std::string& value) {
    args.push_back(CommandLineName(key));
    args.push_back(value);
  };
  const auto join = [](std::string& list, const std::string& item) {
    list += (list.empty() ? "" : ",") + item;
  };
  if (plan.Programs != std::vector<const ProgramProfile*>{Programs()[0]}) {
    std::string names;
    for (const ProgramProfile* p : plan.Programs) join(names, std::string(p->Name));
    add("program", names);
  }
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (plan.Values[i].empty()) continue;
    const SettingOption& setting = SettingOptions()[i];
    std::string values;
    for (const std::string& value : plan.Values[i]) join(values, value);
    add(std::string(setting.Column), values);
  }
  add("seeds", plan.Seeds.Text());
  if (request.Format == RowFormat::Jsonl) add("format", "jsonl");
  if (request.Part.Count > 1) add("shard", request.Part.Text());
  if (plan.StopOnCycle > 0) add("stop_on_cycle", std::to_string(plan.StopOnCycle));
  // As "--out=FILE", so that a name starting with '-' stays a value.
  if (!request.OutPath.empty()) args.push_back("--out=" + request.OutPath);
  if (!request.SeriesPath.empty()) args.push_back("--series=" + request.SeriesPath);
  if (request.Resume) args.push_back("--resume");
  return args;
}

}  // namespace impactsim
