#include "sweep_options.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>
#include <thread>

#include <CLI/CLI.hpp>

#include "random_source.h"
#include "run_options.h"

namespace impactsim::cli {

namespace {

const std::string kListOf = "a comma-separated list of ";
const std::string kProgramAccepts = kListOf + "halvorn, kestane";
const std::string kRoundsAccepts =
    kListOf + "integers 1.." + std::to_string(std::numeric_limits<std::int32_t>::max());
const std::string kInitialDistAccepts = kListOf + "0.4, 0.3, 0.2, 0.1";
const std::string kDistanceAccepts = kListOf + "nb, 0, 1, 2, 3, 4";
const std::string kSwitchAccepts = "no value (on) or " + kListOf + "on, off";
const std::string kSeedsAccepts = "seeds 0.." + std::to_string(kMillisecondsPerDay - 1) +
                                  " as a range A-B or " + kListOf + "seeds and ranges";
const std::string kFormatAccepts = "csv or jsonl";
const std::string kShardAccepts = "K/N with 0 <= K < N";
const std::string kJobsAccepts = "an integer 1.." + std::to_string(kMaxJobs);
const std::string kFileAccepts = "a file name";

std::string Name(const CLI::Option* option) {
  return option->get_name();
}

UsageError Rejected(const CLI::Option* option, const std::string& accepts,
                    const std::string& what) {
  return UsageError(Name(option) + ": expects " + accepts + ", got " + what);
}

// The one value of an option, or nothing when it was not given.
template <typename V>
std::optional<std::string> Single(const V& v, const std::string& accepts) {
  if (v.Given.empty()) return std::nullopt;
  if (v.Given.size() > 1) throw UsageError(Name(v.Option) + ": given more than once");
  if (v.Given[0].empty()) throw Rejected(v.Option, accepts, "no value");
  return v.Given[0];
}

// The items of a list option, none when it was not given. `bare` is the item
// a value-less occurrence stands for, if it may have none.
template <typename V>
std::vector<std::string> Items(const V& v, const std::string& accepts, const char* bare = nullptr) {
  if (v.Given.empty()) return {};
  if (v.Given.size() > 1) throw UsageError(Name(v.Option) + ": given more than once");
  const std::string& text = v.Given[0];
  if (text.empty()) {
    if (bare != nullptr) return {bare};
    throw Rejected(v.Option, accepts, "no value");
  }
  std::vector<std::string> items;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    items.push_back(text.substr(start, comma == std::string::npos ? comma : comma - start));
    if (items.back().empty()) {
      throw Rejected(v.Option, accepts, "an empty item in '" + text + "'");
    }
    if (comma == std::string::npos) return items;
    start = comma + 1;
  }
}

// Parses every item of a list option; a value given twice is an error.
template <typename T, typename V, typename Parse>
std::vector<T> ParseList(const V& v, const std::string& accepts, Parse parse,
                         const char* bare = nullptr) {
  std::vector<T> values;
  for (const std::string& item : Items(v, accepts, bare)) {
    const std::optional<T> value = parse(item);
    if (!value) throw Rejected(v.Option, accepts, "'" + item + "'");
    if (std::find(values.begin(), values.end(), *value) != values.end()) {
      throw UsageError(Name(v.Option) + ": expects each value once, got '" + item + "' again");
    }
    values.push_back(*value);
  }
  return values;
}

std::optional<bool> ParseOnOff(const std::string& text) {
  if (text == "on") return true;
  if (text == "off") return false;
  return std::nullopt;
}

// Plain decimal digits in low..high.
std::optional<std::uint64_t> ParseCount(std::string_view text, std::uint64_t low,
                                        std::uint64_t high) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  std::uint64_t value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size() || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

unsigned DefaultJobs() {
  return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxJobs);
}

void SweepOptions::AddTo(CLI::App& command) {
  const auto value = [&command](Value& v, const std::string& name, const std::string& type,
                                const std::string& help) {
    v.Option = AddTextOption(command, v.Given, name, type, help);
  };
  const auto flag = [&command](const std::string& name, const std::string& help) {
    return command.add_flag(name)->description(help)->disable_flag_override();
  };
  const std::string defaults = " (default: each program's own)";
  command.footer(
      "Every row is the run \"impactsim run --seed SEED\" makes with the row's settings.\n"
      "Exit status: 0 done, 1 a run or a write failed, 2 bad input (nothing run, no file "
      "changed).");

  value(program_, "--program", "LIST", "programs: " + kProgramAccepts + " (default halvorn)");
  value(rounds_, "--rounds", "LIST", "rounds at most: " + kRoundsAccepts + defaults);
  value(initialDist_, "--initial-dist", "LIST",
        "initial shares of opinion 2: " + kInitialDistAccepts + defaults);
  value(distance_, "--distance", "LIST", "powers of distance: " + kDistanceAccepts + defaults);
  value(edge_, "--edge", "[LIST]", "bounded grid on/off, halvorn only" + defaults);
  noEdge_ = flag("--no-edge", "the same as --edge off");
  value(wideScope_, "--wide-scope", "[LIST]", "wide scope on/off, halvorn only" + defaults);
  value(removeSelf_, "--remove-self", "[LIST]", "remove self on/off, halvorn only" + defaults);
  value(summation_, "--summation", "[LIST]", "plain sums on/off" + defaults);
  value(sequential_, "--sequential", "[LIST]", "sequential updating on/off" + defaults);
  simultaneous_ = flag("--simultaneous", "the same as --sequential off");
  value(seeds_, "--seeds", "SEEDS", "required: " + kSeedsAccepts + ", e.g. 0-999 or 5,17,20-29");
  value(format_, "--format", "FORMAT", "rows as " + kFormatAccepts + " (default csv)");
  value(shard_, "--shard", "K/N", "run only the tasks whose number mod N is K (default 0/1)");
  value(jobs_, "--jobs", "N", "threads: " + kJobsAccepts + " (default: one per hardware thread)");
  value(out_, "--out", "FILE", "write the rows to FILE, and FILE.meta.json, instead of stdout");
  resume_ = flag("--resume", "continue --out FILE: keep its rows, run the tasks it lacks");
  list_ = flag("--list", "print the numbered tasks on stdout without running them");
  quiet_ = flag("--quiet", "no progress bar on stderr");
}

SweepRequest SweepOptions::Resolve() const {
  SweepRequest request;
  SweepPlan& plan = request.Plan;
  plan.Programs = ParseList<const ProgramSpec*>(
      program_, kProgramAccepts, [](const std::string& t) -> std::optional<const ProgramSpec*> {
        const ProgramSpec* p = ParseProgram(t);
        return p != nullptr ? std::optional(p) : std::nullopt;
      });
  if (plan.Programs.empty()) plan.Programs.push_back(ParseProgram("halvorn"));
  plan.Rounds = ParseList<std::int32_t>(rounds_, kRoundsAccepts, ParseRounds);
  plan.InitialDist = ParseList<int>(initialDist_, kInitialDistAccepts, ParseInitialDist);
  plan.Distance = ParseList<DistancePar>(distance_, kDistanceAccepts, ParseDistance);

  // A switch list, or its "off" alias; none of them for a program without
  // the setting.
  const auto switches = [&plan](const Value& v, CLI::Option* offAlias, bool ProgramSpec::*has) {
    std::vector<bool> values = ParseList<bool>(v, kSwitchAccepts, ParseOnOff, "on");
    if (offAlias != nullptr && offAlias->count() > 0) {
      if (!values.empty()) {
        throw UsageError(Name(offAlias) + ": cannot be combined with " + Name(v.Option));
      }
      values = {false};
    }
    if (has == nullptr) return values;
    for (const ProgramSpec* p : plan.Programs) {
      if (p->*has) continue;
      for (const CLI::Option* given : {v.Option, offAlias}) {
        if (given != nullptr && given->count() > 0) {
          throw UsageError(Name(given) + ": only for --program halvorn, got --program " +
                           std::string(p->Name));
        }
      }
    }
    return values;
  };
  plan.Edge = switches(edge_, noEdge_, &ProgramSpec::HasEdge);
  plan.WideScope = switches(wideScope_, nullptr, &ProgramSpec::HasWideScope);
  plan.RemoveSelf = switches(removeSelf_, nullptr, &ProgramSpec::HasRemoveSelf);
  plan.Summation = switches(summation_, nullptr, nullptr);
  plan.Sequential = switches(sequential_, simultaneous_, nullptr);

  if (seeds_.Given.empty()) throw UsageError(Name(seeds_.Option) + ": required: " + kSeedsAccepts);
  for (const std::string& item : Items(seeds_, kSeedsAccepts)) {
    const std::size_t dash = item.find('-');
    const auto first = ParseSeed(item.substr(0, dash));
    const auto last = dash == std::string::npos ? first : ParseSeed(item.substr(dash + 1));
    if (!first || !last) throw Rejected(seeds_.Option, kSeedsAccepts, "'" + item + "'");
    if (*first > *last) {
      throw Rejected(seeds_.Option, "a range A-B with A <= B", "'" + item + "'");
    }
    plan.Seeds.Append(*first, *last);
  }
  if (std::uint32_t seed = 0; plan.Seeds.FindRepeat(seed)) {
    throw UsageError(Name(seeds_.Option) + ": expects each seed once, got " + std::to_string(seed) +
                     " again");
  }
  if (plan.TaskCount() == 0) {
    throw UsageError(Name(seeds_.Option) + ": the sweep would have more than " +
                     std::to_string(std::numeric_limits<std::uint64_t>::max()) + " tasks");
  }

  if (const auto text = Single(format_, kFormatAccepts)) {
    if (*text == "csv") {
      request.Format = RowFormat::Csv;
    } else if (*text == "jsonl") {
      request.Format = RowFormat::Jsonl;
    } else {
      throw Rejected(format_.Option, kFormatAccepts, "'" + *text + "'");
    }
  }
  if (const auto text = Single(shard_, kShardAccepts)) {
    const std::size_t slash = text->find('/');
    const std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    const auto index = ParseCount(std::string_view(*text).substr(0, slash), 0, max);
    const auto count = slash == std::string::npos
                           ? std::nullopt
                           : ParseCount(std::string_view(*text).substr(slash + 1), 1, max);
    if (!index || !count || *index >= *count) {
      throw Rejected(shard_.Option, kShardAccepts, "'" + *text + "'");
    }
    request.Part = {*index, *count};
  }
  request.Jobs = DefaultJobs();
  if (const auto text = Single(jobs_, kJobsAccepts)) {
    const auto jobs = ParseCount(*text, 1, kMaxJobs);
    if (!jobs) throw Rejected(jobs_.Option, kJobsAccepts, "'" + *text + "'");
    request.Jobs = static_cast<unsigned>(*jobs);
  }
  if (const auto path = Single(out_, kFileAccepts)) request.OutPath = *path;

  request.Resume = resume_->count() > 0;
  request.List = list_->count() > 0;
  request.Quiet = quiet_->count() > 0;
  if (request.Resume && request.OutPath.empty()) {
    throw UsageError(Name(resume_) + ": needs --out FILE, the file to continue");
  }
  if (request.List && !request.OutPath.empty()) {
    throw UsageError(Name(list_) + ": prints the tasks on stdout, cannot be combined with " +
                     Name(out_.Option));
  }
  return request;
}

}  // namespace impactsim::cli
