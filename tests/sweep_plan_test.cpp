// "impactsim sweep" before anything runs: the numbered task list, the
// identity of a sweep, and bad input refused with the file system untouched.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/report.h"
#include "programs/programs.h"
#include "sweep/input_error.h"
#include "sweep/setting_checks.h"
#include "sweep/setting_options.h"
#include "sweep/sweep_arguments.h"
#include "sweep/sweep_command_line.h"
#include "sweep/sweep_description.h"
#include "sweep/sweep_plan.h"
#include "sweep/sweep_rows.h"
#include "sweep/text_escape.h"
#include "tests/sweep_support.h"

namespace impactsim::cli {
namespace {

using namespace testing;
using Json = nlohmann::json;

TEST(SweepList, NestsTheListsInTheirFixedOrderSeedsInnermost) {
  const Outcome r = Invoke({"sweep", "--program", "halvorn,kestane", "--rounds", "7,3",
                            "--summation", "off,on", "--seeds", "9,2-3", "--list"});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 1u + 2 * 2 * 2 * 3);
  EXPECT_EQ(lines[0],
            "task,program,seed,rounds,initial_dist,distance,edge,wide_scope,remove_self,"
            "summation,sequential");
  // Unlisted settings take each program's own default.
  const std::vector<std::string> expected = {
      "0,halvorn,9,7,0.3,2,on,off,off,off,off", "1,halvorn,2,7,0.3,2,on,off,off,off,off",
      "2,halvorn,3,7,0.3,2,on,off,off,off,off", "3,halvorn,9,7,0.3,2,on,off,off,on,off",
      "6,halvorn,9,3,0.3,2,on,off,off,off,off", "11,halvorn,3,3,0.3,2,on,off,off,on,off",
      "12,kestane,9,7,0.3,2,,,,off,on",         "16,kestane,2,7,0.3,2,,,,on,on",
      "23,kestane,3,3,0.3,2,,,,on,on"};
  for (const std::string& line : expected) {
    const std::size_t task = std::stoul(line);
    EXPECT_EQ(lines[task + 1], line);
  }
}

TEST(SweepList, EveryListedValueReachesItsColumn) {
  const Outcome r =
      Invoke({"sweep", "--seeds", "86399999", "--rounds", "050", "--initial-dist", "0.1,0.4",
              "--distance", "nb,0,4", "--edge", "off", "--wide-scope", "--remove-self", "on",
              "--simultaneous", "--list", "--format", "jsonl"});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 6u);
  const Json last = Json::parse(lines[5]);
  EXPECT_EQ(last["task"], 5);
  EXPECT_EQ(last["seed"], 86399999);
  EXPECT_EQ(last["rounds"], 50);
  EXPECT_EQ(last["initial_dist"], 0.4);
  EXPECT_EQ(last["distance"], "4");
  EXPECT_EQ(last["edge"], "off");
  EXPECT_EQ(last["wide_scope"], "on");
  EXPECT_EQ(last["remove_self"], "on");
  EXPECT_EQ(last["summation"], "off");
  EXPECT_EQ(last["sequential"], "off");
  EXPECT_EQ(Json::parse(lines[0])["distance"], "nb");
  EXPECT_EQ(Json::parse(lines[1])["initial_dist"], 0.1);
}

TEST(SweepList, ShardsKeepTheGlobalNumbers) {
  const Args base = {"sweep", "--program", "kestane", "--seeds", "0-9", "--list"};
  const std::vector<std::string> lines = Lines(Invoke(Concat(base, {"--shard", "2/3"})).out);
  ASSERT_EQ(lines.size(), 1u + 3);
  EXPECT_TRUE(lines[1].starts_with("2,kestane,2,"));
  EXPECT_TRUE(lines[2].starts_with("5,kestane,5,"));
  EXPECT_TRUE(lines[3].starts_with("8,kestane,8,"));
  // A shard beyond the last task has nothing to do.
  EXPECT_EQ(Lines(Invoke(Concat(base, {"--shard", "10/11"})).out).size(), 1u);
}

// The value list of the run setting of that name.
std::vector<std::string>& ValuesOf(SweepPlan& plan, std::string_view name) {
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (SettingOptions()[i].Name == name) return plan.Values[i];
  }
  throw std::invalid_argument(std::string(name));
}

// A plan from its lists: programs, the values of named settings as typed,
// and seed ranges.
struct PlanLists {
  std::vector<const ProgramProfile*> programs = {&KestaneProgram()};
  std::vector<std::pair<std::string_view, std::vector<std::string_view>>> values = {};
  std::vector<std::pair<std::uint32_t, std::uint32_t>> seeds = {{1, 3}};

  SweepPlan Make() const {
    SweepPlan p;
    p.Programs = programs;
    for (const auto& [name, texts] : values) {
      const auto& all = SettingOptions();
      const auto setting = std::find_if(all.begin(), all.end(),
                                        [name](const SettingOption& s) { return s.Name == name; });
      for (const std::string_view text : texts) {
        ValuesOf(p, name).push_back(setting->Parse(text).value());
      }
    }
    for (const auto& [first, last] : seeds) p.Seeds.Append(first, last);
    return p;
  }
};

struct IdentityCase {
  std::string_view why;
  PlanLists a, b;
  bool same;
};

const ProgramProfile* const kHalvorn = &HalvornProgram();
const ProgramProfile* const kKestane = &KestaneProgram();

// The identity follows the tasks, not their spelling on the command line.
TEST(SweepIdentity, FollowsTheTaskListFormatAndShard) {
  const IdentityCase cases[] = {
      {"seeds spelled apart", {}, {.seeds = {{1, 1}, {2, 2}, {3, 3}}}, true},
      {"explicit defaults", {}, {.values = {{"rounds", {"50"}}, {"sequential", {"on"}}}}, true},
      {"seed runs cut elsewhere",
       {.seeds = {{1, 3}, {7, 9}}},
       {.seeds = {{1, 2}, {3, 3}, {7, 9}}},
       true},
      {"defaults both programs share",
       {.programs = {kHalvorn, kKestane}},
       {.programs = {kHalvorn, kKestane},
        .values = {{"initial-dist", {"0.3"}}, {"distance", {"2"}}, {"edge", {"on"}}}},
       true},
      {"seeds reordered", {}, {.seeds = {{3, 3}, {1, 2}}}, false},
      {"one seed more", {}, {.seeds = {{1, 4}}}, false},
      {"another setting", {}, {.values = {{"summation", {"on"}}}}, false},
      {"values reordered",
       {.values = {{"summation", {"off", "on"}}}},
       {.values = {{"summation", {"on", "off"}}}},
       false},
      {"one list, not two values",
       {.values = {{"rounds", {"12"}}}},
       {.values = {{"rounds", {"1", "2"}}}},
       false},
      // An explicit value applies to every program, whose defaults differ.
      {"halvorn's rounds for kestane too",
       {.programs = {kHalvorn, kKestane}},
       {.programs = {kHalvorn, kKestane}, .values = {{"rounds", {"500"}}}},
       false},
      {"halvorn's updating for kestane too",
       {.programs = {kHalvorn, kKestane}},
       {.programs = {kHalvorn, kKestane}, .values = {{"sequential", {"off"}}}},
       false},
      {"programs reordered",
       {.programs = {kHalvorn, kKestane}},
       {.programs = {kKestane, kHalvorn}},
       false},
  };
  for (const IdentityCase& c : cases) {
    const std::string a = SweepIdentity(c.a.Make(), RowFormat::Csv, {});
    const std::string b = SweepIdentity(c.b.Make(), RowFormat::Csv, {});
    EXPECT_EQ(a == b, c.same) << c.why;
  }
  const SweepPlan base = PlanLists{}.Make();
  const std::string id = SweepIdentity(base, RowFormat::Csv, {});
  EXPECT_NE(SweepIdentity(base, RowFormat::Jsonl, {}), id);
  EXPECT_NE(SweepIdentity(base, RowFormat::Csv, {0, 2}), id);
  EXPECT_NE(SweepIdentity(base, RowFormat::Csv, {1, 2}),
            SweepIdentity(base, RowFormat::Csv, {0, 2}));
}

// A sweep that gives settings beyond the windows' only their programs' own
// values, or spells a value otherwise, is the sweep without them: the same
// identity, recorded command line and columns, so that its files are the
// same bytes. Any other value is another sweep.
TEST(SweepIdentity, NewSettingsAtTheirDefaultsLeaveTheSweepAsItWas) {
  struct Case {
    std::vector<std::string> a, b;
    bool same;
  };
  const Case cases[] = {
      {{"--side", "40"}, {}, true},
      {{"--program", "kestane", "--side", "20", "--noise", "0.0"}, {"--program", "kestane"}, true},
      {{"--strengths", "uniform", "--initial-dist", "0.30"}, {"--initial-dist", "0.3"}, true},
      {{"--distance", "2.0,4"}, {"--distance", "2,4"}, true},
      {{"--scope", "29:19"}, {"--wide-scope", "on"}, true},
      {{"--scope", "17:10,29:19.0"}, {"--wide-scope", "off,on"}, true},
      {{"--program", "halvorn,kestane", "--side", "40"}, {"--program", "halvorn,kestane"}, false},
      {{"--noise", "0,0.5"}, {"--noise", "0.5"}, false},
      {{"--scope", "20:12"}, {}, false},
      {{"--initial-count", "480"}, {}, false},
      {{"--opinions", "2", "--initial-shares", "0.6:0.4,0.7:0.3"},
       {"--initial-dist", "0.4,0.3"},
       true},
      {{"--opinions", "3"}, {}, false},
  };
  const auto request = [](std::vector<std::string> args) {
    args.insert(args.begin(), "sweep");
    args.insert(args.end(), {"--seeds", "1-3"});
    return ParseSweepCommandLine(args);
  };
  for (const Case& c : cases) {
    const SweepRequest a = request(c.a);
    const SweepRequest b = request(c.b);
    std::string given;
    for (const std::string& arg : c.a) given += arg + ' ';
    SCOPED_TRACE(given);
    const std::string idA = SweepIdentity(a.Plan, RowFormat::Csv, {});
    EXPECT_EQ(idA == SweepIdentity(b.Plan, RowFormat::Csv, {}), c.same);
    EXPECT_EQ(CommandLineOf(a) == CommandLineOf(b), c.same);
    if (c.same) {
      EXPECT_EQ(CsvHeader(false, a.Plan.Columns()), CsvHeader(false));
    }
  }
}

// A start population may hold any of the sixteen opinions; a run takes one
// holding none above its own number of opinions.
TEST(SweepSettingChecks, AStartOfMoreOpinionsThanTheRunIsRefused) {
  auto start = std::make_shared<StartPopulation>();
  start->Side = 20;
  start->Opinions.assign(400, 1);
  start->Opinions[399] = 3;
  RunSettings settings = KestaneProgram().Defaults;
  settings.Start = start;
  EXPECT_THROW(CheckRunSettings(KestaneProgram(), settings), InputError);
  settings.Opinions = 3;
  EXPECT_NO_THROW(CheckRunSettings(KestaneProgram(), settings));
}

// Identities are stored in description files and compared by later
// versions, so they never change: one of each scheme, the older one as an
// earlier version recorded it for "--program halvorn,kestane --rounds 3,20
// --summation off,on --seeds 1-3".
// The identities hash the columns too: they change when a version adds
// columns, and only then (files with other columns cannot be continued).
TEST(SweepIdentity, RecordedIdentitiesStayTheSame) {
  const SweepPlan plan =
      PlanLists{.programs = {kHalvorn, kKestane},
                .values = {{"rounds", {"3", "20"}}, {"summation", {"off", "on"}}}}
          .Make();
  EXPECT_EQ(TaskListIdentity(plan, RowFormat::Csv, {}), "4ed801b789df8080");
  EXPECT_EQ(SweepIdentity(plan, RowFormat::Csv, {}), "4fd1779850789cc5");
}

// A recorded command line is read as the version that wrote it read it:
// an empty value of a switch setting, which the runner now refuses, stood
// for the switch given bare.
TEST(SweepCommandLine, ARecordedEmptySwitchValueIsReadAsEarlierVersionsTookIt) {
  for (const Args& recorded : {Args{"sweep", "--seeds", "1", "--summation="},
                               Args{"sweep", "--seeds", "1", "--summation", ""}}) {
    EXPECT_EQ(CommandLineOf(ParseSweepCommandLine(recorded)),
              (Args{"sweep", "--summation", "on", "--seeds", "1"}));
  }
}

// The seeds are recorded as given: a range that continues a range merged,
// a spread by its text.
TEST(SweepCommandLine, RecordsTheSeedsAsGiven) {
  const std::pair<std::string, std::string> rows[] = {
      {"0-4,5-9,12", "0-9,12"},
      {"spread:1000:0", "spread:1000"},
      {"spread:10:7,3,4-5", "spread:10:7,3-5"},
      {"5,spread:100", "5,spread:100"},
      {"spread:86400000", "spread:86400000"},
  };
  for (const auto& [given, recorded] : rows) {
    EXPECT_EQ(CommandLineOf(ParseSweepCommandLine({"sweep", "--seeds", given})),
              (Args{"sweep", "--seeds", recorded}));
  }
}

struct BadInput {
  Args args;  // after "sweep"; "@" stands for the scratch directory
  std::string mentions;
  std::function<void(const fs::path&)> prepare = nullptr;
};

void PrintTo(const BadInput& b, std::ostream* os) {
  *os << ::testing::PrintToString(b.args);
}

class SweepBadInputTest : public SweepTest, public ::testing::WithParamInterface<BadInput> {};

// The finished sweep every case finds in its directory: done.csv and its
// description.
const Args kDone = {"--program", "kestane", "--rounds", "1", "--seeds", "1-3"};

// Status 2, nothing on stdout, one line naming the option, and no file
// created or changed.
TEST_P(SweepBadInputTest, RejectedBeforeAnythingRuns) {
  ASSERT_EQ(Invoke(Concat(Concat({"sweep"}, kDone), {"--out", In("done.csv")})).status, kExitOk);
  if (GetParam().prepare) GetParam().prepare(dir_);
  const auto before = Snapshot();
  Args args = {"sweep"};
  for (const std::string& arg : GetParam().args) {
    args.push_back(arg.starts_with("@") ? In(arg.substr(1)) : arg);
  }
  const Outcome r = Invoke(args);
  EXPECT_EQ(r.status, kExitUsage);
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(r.err.starts_with("impactsim: ")) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_NE(r.err.find(GetParam().mentions), std::string::npos) << r.err;
  EXPECT_EQ(Snapshot(), before);
}

// Rewrites done.csv through a function of its lines, its description as a
// sweep cut short leaves it (without the digest that would tell the edit).
std::function<void(const fs::path&)> Edit(std::function<void(std::vector<std::string>&)> change) {
  return [change](const fs::path& dir) {
    std::vector<std::string> lines = Lines(Slurp(dir / "done.csv"));
    change(lines);
    std::string text;
    for (const std::string& line : lines) text += line + '\n';
    Spit(dir / "done.csv", text);
    CutShort(dir / "done.csv");
  };
}

// Task 0 of the complete done.csv with one cluster more at the end: a row a
// run can give, so that only the recorded digest tells the edit.
void OneClusterMore(const fs::path& dir) {
  std::string rows = Slurp(dir / "done.csv");
  const std::size_t at = rows.find(",0.19,5,0.8975,");
  ASSERT_NE(at, std::string::npos);
  Spit(dir / "done.csv", rows.replace(at, 15, ",0.19,6,0.8975,"));
}

const Args kOut = {"--out", "@new.csv"};
Args Sweep(Args a) {
  return Concat(std::move(a), kOut);
}
Args Resume(Args a) {
  return Concat(std::move(a), {"--out", "@done.csv", "--resume"});
}

INSTANTIATE_TEST_SUITE_P(
    Table, SweepBadInputTest,
    ::testing::Values(
        BadInput{Sweep({}), "--seeds: required"},
        BadInput{Sweep({"--seeds", "5-3"}), "--seeds: expects a range A-B with A <= B"},
        BadInput{Sweep({"--seeds", "1-2-3"}), "--seeds"},
        BadInput{Sweep({"--seeds", "1,,3"}), "--seeds: expects"},
        BadInput{Sweep({"--seeds", "86400000"}), "'86400000'"},
        BadInput{Sweep({"--seeds", "x"}), "--seeds"}, BadInput{Sweep({"--seeds="}), "no value"},
        BadInput{Sweep({"--seeds", "4,4"}), "--seeds: expects each seed once, got 4 again"},
        BadInput{Sweep({"--seeds", "1-9,5-6"}), "got 5 again"},
        BadInput{Sweep({"--seeds", "spread:0"}),
                 "--seeds: expects spread:N or spread:N:K with N "
                 "1..86400000 and K 0..4294967295, got 'spread:0'"},
        BadInput{Sweep({"--seeds", "spread:"}), "got 'spread:'"},
        BadInput{Sweep({"--seeds", "spread:86400001"}), "got 'spread:86400001'"},
        BadInput{Sweep({"--seeds", "spread:5:x"}), "got 'spread:5:x'"},
        BadInput{Sweep({"--seeds", "spread:5:4294967296"}), "got 'spread:5:4294967296'"},
        BadInput{Sweep({"--seeds", "spread:5:1:2"}), "got 'spread:5:1:2'"},
        BadInput{Sweep({"--seeds", "spread: 5"}), "got 'spread: 5'"},
        BadInput{Sweep({"--seeds", "1, spread:5"}), "spread:N[:K] or a comma-separated list"},
        BadInput{Sweep({"--seeds", "spread:86400000,86399999"}), "got 86399999 again"},
        BadInput{Sweep({"--seeds", "spread:3,spread:3"}), "got 23482408 again"},
        BadInput{Sweep({"--seeds", "1", "--seeds", "2"}), "--seeds: given more than once"},
        BadInput{Sweep({"--seeds", "1", "--distance", "2,,4"}), "--distance: expects"},
        BadInput{Sweep({"--seeds", "1", "--distance", "2,65"}), "--distance"},
        BadInput{Sweep({"--seeds", "1", "--distance", "2,2.0"}), "got '2.0' again"},
        BadInput{Sweep({"--seeds", "1", "--scope", "17,10"}),
                 "--scope: expects a comma-separated list of R:C"},
        BadInput{Sweep({"--seeds", "1", "--scope", "20:12", "--wide-scope", "on"}),
                 "--scope: cannot be combined with --wide-scope"},
        BadInput{Sweep({"--seeds", "1", "--edge", "on,off", "--side", "40,34", "--scope",
                        "17:10,29:19"}),
                 "--side: on a torus of side 34 the neighbourhood 29:19 reaches 17 cells"},
        BadInput{Sweep({"--seeds", "1", "--side", "40,10", "--initial-count", "100,101"}),
                 "--initial-count: expects at most the 100 cells of the grid (side 10), got 101"},
        BadInput{Sweep({"--seeds", "1", "--opinions", "2,3", "--initial-shares", "0.5:0.5"}),
                 "--initial-shares: expects one share per opinion, 3 for --opinions 3, got 2"},
        BadInput{
            Sweep({"--seeds", "1", "--opinions", "3", "--initial-shares", "0.2:0.3:0.5,0.5:0.5"}),
            "--initial-shares: expects one share per opinion, 3 for --opinions 3, got 2"},
        BadInput{Sweep({"--seeds", "1", "--opinions", "2,5", "--initial-dist", "0.3"}),
                 "--initial-dist: applies to two opinions only, got --opinions 5"},
        BadInput{Sweep({"--seeds", "1", "--initial-shares", "0.7:0.3", "--initial-dist", "0.3"}),
                 "--initial-dist: cannot be combined with --initial-shares"},
        BadInput{Sweep({"--seeds", "1", "--opinions", "2,3", "--initial-count", "5"}),
                 "--initial-count: applies to two opinions only, got --opinions 3"},
        BadInput{Sweep({"--seeds", "1", "--initial-shares", "0.5,0.5"}),
                 "--initial-shares: expects a comma-separated list of S1:...:SK"},
        BadInput{Sweep({"--seeds", "1", "--distance", "2,"}), "--distance"},
        BadInput{Sweep({"--seeds", "1", "--rounds", "0"}), "--rounds"},
        BadInput{Sweep({"--seeds", "1", "--rounds", "50,050"}),
                 "--rounds: expects each value once"},
        BadInput{Sweep({"--seeds", "1", "--rounds", "5", "--rounds", "6"}), "--rounds"},
        BadInput{Sweep({"--seeds", "1", "--initial-dist", "0.4,1.5"}), "'1.5'"},
        BadInput{Sweep({"--seeds", "1", "--program", "halvorn,Kestane"}), "--program"},
        BadInput{Sweep({"--seeds", "1", "--program", "halvorn,kestane", "--edge", "on"}),
                 "--edge: only for --program halvorn, got --program kestane"},
        BadInput{Sweep({"--seeds", "1", "--program", "kestane", "--no-edge"}), "--no-edge"},
        BadInput{Sweep({"--seeds", "1", "--program", "kestane,halvorn", "--wide-scope"}),
                 "--wide-scope"},
        BadInput{Sweep({"--seeds", "1", "--program", "kestane", "--remove-self", "off"}),
                 "--remove-self"},
        BadInput{Sweep({"--seeds", "1", "--edge", "maybe"}), "--edge"},
        BadInput{Sweep({"--seeds", "1", "--edge="}),
                 "--edge: expects no value (on) or a comma-separated list of on, off, got an "
                 "empty value"},
        BadInput{Sweep({"--seeds", "1", "--wide-scope", ""}), "--wide-scope: expects"},
        BadInput{Sweep({"--seeds", "1", "--summation=", "off"}), "--summation: expects"},
        BadInput{Sweep({"--seeds", "1", "--summation", "on,on"}), "--summation"},
        BadInput{Sweep({"--seeds", "1", "--edge", "--no-edge"}), "--no-edge"},
        BadInput{Sweep({"--seeds", "1", "--sequential", "off", "--simultaneous"}),
                 "--simultaneous"},
        BadInput{Sweep({"--seeds", "1", "--shard", "3/3"}), "--shard"},
        BadInput{Sweep({"--seeds", "1", "--shard", "1/0"}), "--shard"},
        BadInput{Sweep({"--seeds", "1", "--shard", "1"}), "--shard"},
        BadInput{Sweep({"--seeds", "1", "--shard", "a/2"}), "--shard"},
        BadInput{Sweep({"--seeds", "1", "--jobs", "0"}), "--jobs"},
        BadInput{Sweep({"--seeds", "1", "--jobs", "1025"}), "--jobs"},
        BadInput{Sweep({"--seeds", "1", "--format", "xml"}), "--format"},
        BadInput{Sweep({"--seeds", "1", "--quiet=1"}), "--quiet"},
        BadInput{Sweep({"--seeds", "1", "--frobnicate"}), "--frobnicate"},
        BadInput{Sweep({"--seeds", "1", "stray"}), "'stray'"},
        BadInput{{"--seeds", "1", "--resume"}, "--resume: needs --out"},
        BadInput{Sweep({"--seeds", "1", "--list"}), "--list"},
        BadInput{{"--seeds", "1", "--out", "@missing/x.csv"}, "--out: cannot write"},
        BadInput{{"--seeds", "1", "--out", "@"}, "--out"},
        // An existing sweep file is only continued.
        BadInput{Concat(kDone, {"--out", "@done.csv"}), "use --resume"},
        // A file of a different sweep, or one that is not what its
        // description says.
        BadInput{Resume({"--program", "kestane", "--rounds", "1", "--seeds", "1-4"}),
                 "different sweep"},
        BadInput{Resume({"--program", "kestane", "--rounds", "2", "--seeds", "1-3"}),
                 "different sweep"},
        BadInput{Resume(Concat(kDone, {"--format", "jsonl"})), "different sweep"},
        BadInput{Resume(Concat(kDone, {"--shard", "1/2"})), "different sweep"},
        BadInput{Resume(kDone), "--resume: cannot tell which sweep",
                 [](const fs::path& d) { fs::remove(d / "done.csv.meta.json"); }},
        BadInput{Resume(kDone), "--resume",
                 [](const fs::path& d) { Spit(d / "done.csv.meta.json", "{\"tool\": 1"); }},
        BadInput{Resume(kDone), "CSV header",
                 Edit([](std::vector<std::string>& l) { l[0][0] = 'T'; })},
        BadInput{Resume(kDone), "line 3 of",
                 Edit([](std::vector<std::string>& l) { std::swap(l[2], l[3]); })},
        BadInput{Resume(kDone), "line 2 of",
                 Edit([](std::vector<std::string>& l) { l[1].resize(l[1].rfind(',')); })},
        BadInput{Resume(kDone), "line 4 of", Edit([](std::vector<std::string>& l) {
                   l[3].replace(l[3].find(",3,"), 3, ",9,");
                 })},
        BadInput{Resume(kDone), "one row more",
                 Edit([](std::vector<std::string>& l) { l.push_back(l.back()); })},
        BadInput{Resume(kDone), "has changed since its sweep was complete", OneClusterMore},
        // Cycles and series.
        BadInput{Sweep({"--seeds", "1", "--stop-on-cycle", "0"}), "--stop-on-cycle: expects"},
        BadInput{Sweep({"--seeds", "1", "--stop-on-cycle", "2147483648"}), "--stop-on-cycle"},
        BadInput{Sweep({"--seeds", "1", "--stop-on-cycle", "-1"}), "--stop-on-cycle"},
        BadInput{Resume(Concat(kDone, {"--stop-on-cycle", "3"})), "different sweep"},
        BadInput{{"--seeds", "1", "--series", "@s.csv"}, "--series: needs --out"},
        BadInput{Sweep({"--seeds", "1", "--series", "@new.csv"}), "the same file as"},
        BadInput{Sweep({"--seeds", "1", "--series", "@./new.csv.meta.json"}), "the same file as"},
        BadInput{Sweep({"--seeds", "1", "--series", "@"}), "--series"},
        BadInput{{"--seeds", "1", "--series", "@s.csv", "--list"}, "--series"},
        // A series file is continued only with the rows it belongs to.
        BadInput{Sweep({"--seeds", "1", "--series", "@done.csv"}), "already holds rounds"},
        BadInput{Resume(Concat(kDone, {"--series", "@s.csv"})), "started without a series"},
        BadInput{Resume(kDone), "continue it with --series", [](const fs::path& d) {
                   const fs::path meta = d / "done.csv.meta.json";
                   std::string text = Slurp(meta);
                   text.insert(text.rfind('}'),
                               ",\"series\":{\"file\":\"s.csv\",\"identity\":\"0\"}");
                   Spit(meta, text);
                 }}));

}  // namespace
}  // namespace impactsim::cli
