// --resume trusts only what this sweep itself writes: rows byte for byte as
// the writer makes them with values one run can give, descriptions of every
// identity scheme, and output names that are not UTF-8.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/report.h"
#include "programs/programs.h"
#include "sweep/sha256.h"
#include "sweep/sweep_description.h"
#include "sweep/sweep_rows.h"
#include "sweep/text_escape.h"
#include "tests/sweep_support.h"

namespace impactsim::cli {
namespace {

using namespace testing;
using Json = nlohmann::ordered_json;

// The sweep every row case starts from: three kestane runs of one round.
// Its rows (CSV lines 2..4, JSON lines 1..3) read, in part:
//   task 0: ...,1,rounds,263,137,324,76,0.19,5,0.8975,0,,1,121,62,0.53,54,4,10,51,
//           2.537037037037037,19,52.605839416058394,...
//   task 1: ...,1,rounds,274,126,359,41,0.1025,5,0.9275,0,,1,111,...
//   task 2: ...,1,rounds,285,115,319,81,0.2025,5,0.9075,0,,1,108,...,49.711598746081506
const Args kOneRound = {"sweep", "--program", "kestane", "--rounds", "1", "--seeds", "1-3"};

// One line of a finished file changed: the first `from` in it becomes `to`.
struct ForeignRow {
  std::string format;
  std::size_t line;  // 1-based, as the refusal names it
  std::string from, to;
  std::string why;
};

void PrintTo(const ForeignRow& f, std::ostream* os) {
  *os << f.format << " line " << f.line << ": " << f.why;
}

class SweepResumeRowTest : public SweepTest, public ::testing::WithParamInterface<ForeignRow> {};

// A line the sweep would not have written is refused by number, with status
// 2, and nothing is run or changed.
TEST_P(SweepResumeRowTest, RefusesALineTheSweepWouldNotWrite) {
  const ForeignRow& f = GetParam();
  const Args args = Concat(kOneRound, {"--format", f.format, "--out", In("done")});
  ASSERT_EQ(Invoke(args).status, kExitOk);
  std::vector<std::string> lines = Lines(Slurp(In("done")));
  ASSERT_LE(f.line, lines.size());
  std::string& line = lines[f.line - 1];
  const std::size_t at = line.find(f.from);
  ASSERT_NE(at, std::string::npos) << line;
  line.replace(at, f.from.size(), f.to);
  std::string text;
  for (const std::string& l : lines) text += l + '\n';
  Spit(In("done"), text);
  CutShort(In("done"));
  const auto before = Snapshot();

  const Outcome r = Invoke(Concat(args, {"--resume"}));
  EXPECT_EQ(r.status, kExitUsage);
  EXPECT_EQ(r.out, "");
  const std::size_t task = f.line - (f.format == "csv" ? 2 : 1);
  EXPECT_EQ(r.err, "impactsim: --resume: line " + std::to_string(f.line) + " of " +
                       Quoted(In("done")) + " is not the row of task " + std::to_string(task) +
                       " of this sweep\n");
  EXPECT_EQ(Snapshot(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SweepResumeRowTest,
    ::testing::Values(
        // Spelled otherwise than the writer spells it.
        ForeignRow{"csv", 2, ",0.19,", ",0.190,", "a decimal with a trailing zero"},
        ForeignRow{"csv", 2, ",1,rounds,", ",01,rounds,", "a leading zero"},
        ForeignRow{"csv", 2, ",324,", ",+324,", "a sign"},
        ForeignRow{"csv", 3, ",5,", ",5x,", "junk in a field"},
        ForeignRow{"csv", 3, "0.9275", "0.9275,x", "a junk field"},
        ForeignRow{"csv", 4, "0.9075", "0.9075 ", "a trailing blank"},
        ForeignRow{"csv", 4, "0.9075", "0.9075\r", "a carriage return"},
        ForeignRow{"csv", 2, ",rounds,", ",quiet+rounds,", "stop reasons out of order"},
        ForeignRow{"csv", 2, ",rounds,", ",rounds+rounds,", "a stop reason twice"},
        ForeignRow{"csv", 2, ",rounds,", ",,", "no stop reason"},
        ForeignRow{"csv", 2, ",rounds,", ",Rounds,", "an unknown stop reason"},
        // Well spelled, but values no run of the task gives together.
        ForeignRow{"csv", 2, ",0.19,", ",0.2,", "a share that is not opinion2_end / cells"},
        ForeignRow{"csv", 2, ",324,76,", ",323,76,", "end counts not adding up to the cells"},
        ForeignRow{"csv", 2, ",263,137,", ",264,137,", "start counts not adding up"},
        ForeignRow{"csv", 2, ",1,rounds,", ",2,rounds,", "more rounds than the setting"},
        ForeignRow{"csv", 2, ",1,rounds,", ",0,rounds,", "no round at all"},
        ForeignRow{"csv", 2, ",rounds,", ",quiet,", "the rounds setting reached, not said"},
        ForeignRow{"csv", 2, ",rounds,", ",rounds+unanimity,", "unanimity without it"},
        ForeignRow{"csv", 2, ",5,0.8975", ",0,0.8975", "no cluster"},
        ForeignRow{"csv", 2, ",5,0.8975", ",401,0.8975", "more clusters than cells"},
        ForeignRow{"csv", 2, ",5,0.8975", ",1,0.8975", "one cluster of two opinions"},
        ForeignRow{"csv", 2, ",0.8975", ",1.5", "a share of like neighbours above 1"},
        ForeignRow{"csv", 2, ",0.8975", ",nan", "a share that is not a number"},
        ForeignRow{"csv", 2, ",0.8975", ",1", "all neighbours alike in two opinions"},
        ForeignRow{"csv", 2, ",rounds,", ",rounds+cycle,", "a cycle named without a period"},
        ForeignRow{"csv", 2, ",0.8975,0,,1,", ",0.8975,1,0,1,", "at rest though it changed"},
        ForeignRow{"csv", 2, ",0.8975,0,,", ",0.8975,0,0,", "a cycle start without a period"},
        ForeignRow{"csv", 2, ",0.8975,0,,", ",0.8975,65,0,", "a period past 64 rounds"},
        ForeignRow{"csv", 2, ",1,121,62,", ",0,0,62,", "no change though the census moved"},
        ForeignRow{"csv", 2, ",1,121,62,", ",1,401,62,", "more changes than cells"},
        ForeignRow{"csv", 2, ",54,4,10,51,", ",54,4,10,77,", "a group larger than its cells"},
        ForeignRow{"csv", 2, ",54,4,", ",63,4,", "more groups of opinion 2 than in all"},
        ForeignRow{"csv", 2, ",2.537037037037037,", ",2.5,", "a mean group size not computed"},
        ForeignRow{"csv", 2, ",52.605839416058394,", ",100.5,", "a mean strength above 100"},
        ForeignRow{"csv", 2, ",52.605839416058394,", ",,", "no mean strength of 137 cells"},
        ForeignRow{"csv", 2, ",52.605839416058394,", ",52.6,",
                   "a mean strength no sum of 137 whole strengths gives"},
        ForeignRow{"csv", 2, ",0.8975,", ",0.8976,", "a share of like neighbours in no twelfths"},
        // Values whose arithmetic would overflow, were they taken on trust.
        ForeignRow{"csv", 2, ",54,4,10,51,", ",9223372036854775807,4,10,51,",
                   "more groups of opinion 2 than 64 bits hold"},
        ForeignRow{"csv", 2, ",62,0.53,", ",-9223372036854775808,0.53,",
                   "the fewest clusters 64 bits hold"},
        ForeignRow{"csv", 2, ",1,rounds,263,137,324,76,0.19,5,0.8975,0,,1,",
                   ",-2147483648,rounds,263,137,324,76,0.19,5,0.8975,2,0,1,",
                   "the fewest rounds 32 bits hold, with a cycle"},
        // JSON lines: the writer's exact text, not just the same values.
        ForeignRow{"jsonl", 1, "{\"task\":0,\"program\":\"kestane\",",
                   "{\"program\":\"kestane\",\"task\":0,", "reordered keys"},
        ForeignRow{"jsonl", 2, "\"seed\":2,", "\"seed\":2.0,", "a seed written as a decimal"},
        ForeignRow{"jsonl", 2, "\"clusters_end\":5,", "\"clusters_end\":\"5\",",
                   "a number as a string"},
        ForeignRow{"jsonl", 2, "\"rounds_run\":1,", "\"rounds_run\":1.0,", "a decimal count"},
        ForeignRow{"jsonl", 1, "0.19,", "1.9e-1,", "an exponent"},
        ForeignRow{"jsonl", 1, "\"seed\":1,", "\"seed\":1, ", "a blank between fields"},
        ForeignRow{"jsonl", 3, "}", "} ", "a trailing blank"},
        ForeignRow{"jsonl", 3, "}", ",\"note\":1}", "an extra key"},
        ForeignRow{"jsonl", 1, "\"cycle_start\":null", "\"cycle_start\":0",
                   "a start without a cycle"},
        ForeignRow{"jsonl", 1, "\"period\":0,", "\"period\":\"0\",", "a period as a string"},
        ForeignRow{"jsonl", 2, "\"cycle_start\":null,", "", "a missing empty value"},
        ForeignRow{"jsonl", 3, "\"clusters_end\":5,", "\"clusters_end\":5,\"clusters_end\":5,",
                   "a key twice"},
        ForeignRow{"jsonl", 1, "\"minority_share_end\":0.19,", "", "a missing key"},
        ForeignRow{"jsonl", 1, "\"opinion1_end\":324", "\"opinion1_end\":325",
                   "end counts not adding up"},
        ForeignRow{"jsonl", 1, "\"stop\":\"rounds\"", "\"stop\":\"quiet\"", "a wrong stop text"},
        ForeignRow{"jsonl", 1, "\"rounds_run\":1,", "\"rounds_run\":4294967297,",
                   "a count past 32 bits"}));

// Every row a sweep writes is kept: rows that stopped for each reason, of
// both programs, on bounded and wrapped grids; a complete file is left as it
// is and a cut one completed.
TEST_F(SweepTest, ResumeKeepsEveryRowTheSweepWrote) {
  const Args sweeps[] = {
      {"--program", "kestane", "--initial-dist", "0.1,0.4", "--summation", "off,on", "--sequential",
       "on,off", "--distance", "nb,2", "--seeds", "0-4"},
      {"--program", "halvorn", "--initial-dist", "0.1", "--summation", "--distance", "nb,0",
       "--rounds", "2,60", "--edge", "on,off", "--seeds", "0-2"},
      // More than two opinions; unanimity of opinion 3.
      {"--program", "kestane", "--opinions", "2,3,16", "--noise", "0,0.5", "--seeds", "0-2"},
      {"--program", "kestane", "--opinions", "3", "--initial-shares", "0.01:0.01:0.98",
       "--distance", "nb,2", "--seeds", "0-2"},
      {"--program", "halvorn", "--opinions", "3", "--initial-shares", "0.1:0.1:0.8", "--rounds",
       "2,60", "--edge", "on,off", "--seeds", "0-1"},
  };
  for (const Args& sweep : sweeps) {
    for (const char* format : {"csv", "jsonl"}) {
      const Args args = Concat(Concat({"sweep"}, sweep), {"--format", format, "--out", In("s")});
      ASSERT_EQ(Invoke(args).status, kExitOk);
      const std::string full = Slurp(In("s"));
      const Outcome again = Invoke(Concat(args, {"--resume"}));
      ASSERT_EQ(again.status, kExitOk) << again.err;
      EXPECT_EQ(Slurp(In("s")), full);
      Spit(In("s"), full.substr(0, full.size() / 2));
      CutShort(In("s"));
      ASSERT_EQ(Invoke(Concat(args, {"--resume"})).status, kExitOk);
      EXPECT_EQ(Slurp(In("s")), full);
      fs::remove(In("s"));
    }
  }
}

// The first run of kestane, from seed 0 on, whose result satisfies `wanted`;
// plain sums of impact or the default root-damped averages.
std::pair<SweepTask, RowResult> FirstRun(bool summation,
                                         const std::function<bool(const RowResult&)>& wanted) {
  SweepTask task;
  task.Program = &KestaneProgram();
  task.Settings = KestaneProgram().Defaults;
  task.Settings.SummationM = summation;
  for (task.Seed = 0; task.Seed < 100; ++task.Seed) {
    const RowResult result = ResultOf(task, RunTask(task));
    if (wanted(result)) return {task, result};
  }
  throw std::runtime_error("no such run");
}

// Values one run cannot give together, from a real result of each kind.
TEST(SweepRowValues, OnlyValuesOneRunCanGiveFitTheTask) {
  using Change = std::function<void(RowResult&)>;
  const auto [unanimousTask, unanimous] =
      FirstRun(true, [](const RowResult& r) { return r.Stop.Unanimity && !r.Stop.Rounds; });
  const auto [mixedTask, mixed] =
      FirstRun(false, [](const RowResult& r) { return r.Stop.Quiet && !r.Stop.Rounds; });
  EXPECT_TRUE(ResultFitsTask(unanimous, unanimousTask));
  EXPECT_TRUE(ResultFitsTask(mixed, mixedTask));
  const std::pair<const char*, Change> unfitForBoth[] = {
      {"a stop without reason", [](RowResult& r) { r.Stop = {}; }},
      {"rounds without reaching the setting", [](RowResult& r) { r.Stop.Rounds = true; }},
      {"past the rounds setting", [](RowResult& r) { r.RoundsRun = 51; }},
      {"negative counts",
       [](RowResult& r) {
         r.Opinion1Start = -1;
         r.Opinion2Start = 401;
       }},
      {"a share one step off",
       [](RowResult& r) { r.MinorityShare = std::nextafter(r.MinorityShare, 2.0); }},
      {"a share that is not a number",
       [](RowResult& r) { r.LikeNeighbours = std::numeric_limits<double>::quiet_NaN(); }},
      {"a negative share of like neighbours", [](RowResult& r) { r.LikeNeighbours = -0.25; }},
      {"unanimity flipped", [](RowResult& r) { r.Stop.Unanimity = !r.Stop.Unanimity; }},
      {"a cycle named without one", [](RowResult& r) { r.Stop.Cycle = true; }},
      {"a period past 64 rounds", [](RowResult& r) { r.Period = 65; }},
      {"a repetition moved a round later",
       [](RowResult& r) { r.CycleStart = r.CycleStart ? *r.CycleStart + 1 : 0; }},
      {"no change at all", [](RowResult& r) { r.TotalChanges = 0; }},
      {"a change after the last round", [](RowResult& r) { r.LastChangeRound = r.RoundsRun + 1; }},
      {"one more group of opinion 2", [](RowResult& r) { ++r.MinorityClustersEnd; }},
      {"a largest group past its opinion's cells",
       [](RowResult& r) { r.LargestMinorityClusterStart = r.Opinion2Start + 1; }},
      {"a mean strength past 100", [](RowResult& r) { r.MajorityPersuasivenessStart = 100.5; }},
      {"a mean strength one step off its whole sum",
       [](RowResult& r) {
         r.MajorityPersuasivenessStart = std::nextafter(*r.MajorityPersuasivenessStart, 200.0);
       }},
      {"a share of like neighbours one step off",
       [](RowResult& r) { r.LikeNeighboursStart = std::nextafter(r.LikeNeighboursStart, 0.0); }},
      {"a mean strength of no cells",
       [](RowResult& r) {
         r.MinoritySupportivenessEnd =
             r.MinoritySupportivenessEnd ? std::optional<double>() : std::optional(1.0);
       }},
  };
  for (const auto& [why, change] : unfitForBoth) {
    for (const auto& [task, base] :
         {std::pair{unanimousTask, unanimous}, std::pair{mixedTask, mixed}}) {
      RowResult r = base;
      change(r);
      EXPECT_FALSE(ResultFitsTask(r, task)) << why << ", seed " << task.Seed;
    }
  }
  // One opinion everywhere is one cluster of alike neighbours, and only that.
  RowResult split = unanimous;
  split.Clusters = 2;
  EXPECT_FALSE(ResultFitsTask(split, unanimousTask));
  RowResult unlike = unanimous;
  unlike.LikeNeighbours = 0.75;
  EXPECT_FALSE(ResultFitsTask(unlike, unanimousTask));
}

// A row of a sweep of up to four opinions, as a three-opinion task whose
// opinion 3 died out gives it (a real two-opinion result with the columns
// of opinions 3 and 4), read back as written; then what such a row cannot
// hold.
TEST(SweepRowValues, OpinionColumnsFitTheirCensus) {
  using Change = std::function<void(SweepTask&, RowResult&)>;
  auto [task, base] =
      FirstRun(false, [](const RowResult& r) { return r.Stop.Quiet && !r.Stop.Rounds; });
  task.Settings.Opinions = 3;
  task.Columns = WithOpinionColumns(task.Columns, 4);
  const std::int32_t cells = task.Cells();
  base.OpinionClustersEnd[1] = base.Clusters - base.MinorityClustersEnd;
  base.OpinionClustersEnd[2] = base.MinorityClustersEnd;
  base.SurvivingOpinionsEnd = 2;
  base.SmallestShareEnd = static_cast<double>(std::min(base.Opinion1End, base.Opinion2End)) /
                          static_cast<double>(cells);
  ASSERT_TRUE(ResultFitsTask(base, task));
  for (const RowFormat format : {RowFormat::Csv, RowFormat::Jsonl}) {
    std::string line = FormatRow(format, task, base);
    EXPECT_NE(line.find(format == RowFormat::Csv ? "," : "\"opinion4_clusters_end\":0"),
              std::string::npos);
    line.pop_back();
    EXPECT_EQ(ReadRow(format, line, task), base);
  }
  // A cell of opinion 3 taken from opinion 1, with its own group (and
  // opinion 1's mean strengths of one cell fewer).
  const auto third = [](SweepTask&, RowResult& r) {
    --r.Opinion1End;
    r.MajorityPersuasivenessEnd = 50.0;
    r.MajoritySupportivenessEnd = 50.0;
    r.CensusEnd[3] = 1;
    r.OpinionClustersEnd[3] = 1;
    ++r.Clusters;
    r.SurvivingOpinionsEnd = 3;
    r.SmallestShareEnd = 1.0 / static_cast<double>(r.Opinion1End + r.Opinion2End + 1);
  };
  RowResult three = base;
  third(task, three);
  EXPECT_TRUE(ResultFitsTask(three, task));
  const std::pair<const char*, Change> unfit[] = {
      {"a cell of opinion 3 beside a full census",
       [](SweepTask&, RowResult& r) { r.CensusStart[3] = 1; }},
      {"a cell of opinion 4 in a task of three",
       [&](SweepTask& t, RowResult& r) {
         third(t, r);
         r.CensusEnd[4] = 1;
         r.CensusEnd[3] = 0;
         r.OpinionClustersEnd[4] = 1;
         r.OpinionClustersEnd[3] = 0;
       }},
      {"a task of more opinions than the columns",
       [](SweepTask& t, RowResult&) { t.Settings.Opinions = 5; }},
      {"cells of an opinion without a group",
       [&](SweepTask& t, RowResult& r) {
         third(t, r);
         r.OpinionClustersEnd[3] = 0;
         --r.Clusters;
       }},
      {"groups that are not all the groups",
       [&](SweepTask& t, RowResult& r) {
         third(t, r);
         --r.Clusters;
       }},
      {"a group of an opinion no cell holds",
       [](SweepTask&, RowResult& r) { r.OpinionClustersEnd[3] = 1; }},
      {"opinion 2's groups apart from its own column",
       [](SweepTask&, RowResult& r) { ++r.OpinionClustersEnd[2]; }},
      {"an opinion too many held", [](SweepTask&, RowResult& r) { r.SurvivingOpinionsEnd = 3; }},
      {"the smallest share one step off",
       [](SweepTask&, RowResult& r) {
         r.SmallestShareEnd = std::nextafter(r.SmallestShareEnd, 1.0);
       }},
  };
  for (const auto& [why, change] : unfit) {
    SweepTask t = task;
    RowResult r = base;
    change(t, r);
    EXPECT_FALSE(ResultFitsTask(r, t)) << why;
  }
}

// The plan of "kestane --rounds 2 --seeds 1-6", built as the options build it.
SweepPlan TwoRounds(std::uint32_t lastSeed) {
  SweepPlan plan;
  plan.Programs = {&KestaneProgram()};
  plan.Values[0] = {"2"};  // rounds
  plan.Seeds.Append(1, lastSeed);
  return plan;
}

class SweepDescriptionTest : public SweepTest {
 protected:
  void SetUp() override {
    SweepTest::SetUp();
    args_ = {"sweep",   "--program", "kestane", "--rounds", "2",
             "--seeds", "1-6",       "--out",   In("s.csv")};
  }

  Args args_;

  // Writes the whole sweep, then replaces its description by `change` of it.
  std::string Prepare(const std::function<void(Json&)>& change) {
    EXPECT_EQ(Invoke(args_).status, kExitOk);
    Json meta = Json::parse(Slurp(In("s.csv.meta.json")));
    change(meta);
    Spit(In("s.csv.meta.json"), meta.dump(2) + '\n');
    return Slurp(In("s.csv"));
  }
};

// A file of an earlier version, whose description names no rows scheme,
// gave period 0 to a run that ended in unanimity. --resume refuses it,
// saying why, and changes nothing; verify re-makes its rows as that version
// made them: its own rows agree, and rows of either kind under the other's
// description differ.
TEST_F(SweepDescriptionTest, AFileOfAnEarlierVersionVerifiesButIsNotContinued) {
  args_ = {"sweep", "--program", "kestane", "--summation", "--seeds", "0-3", "--out", In("s.csv")};
  ASSERT_EQ(Invoke(args_).status, kExitOk);
  const std::string now = Slurp(In("s.csv"));
  const std::string nowMeta = Slurp(In("s.csv.meta.json"));
  // The rows as the earlier version wrote them: every run here ended in
  // unanimity, and "1,R" of period and cycle_start was "0,".
  std::vector<std::string> lines = Lines(now);
  std::string earlier = lines[0] + '\n';
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::size_t at = lines[i].find(",unanimity,");
    ASSERT_NE(at, std::string::npos) << lines[i];
    std::vector<std::string> fields;
    std::stringstream in(lines[i]);
    for (std::string f; std::getline(in, f, ',');) fields.push_back(f);
    const auto column = [&lines](std::string_view name) {
      const std::string header = "," + lines[0] + ",";
      const std::string_view before(header.data(), header.find("," + std::string(name) + ","));
      return static_cast<std::size_t>(std::count(before.begin(), before.end(), ','));
    };
    fields[column("period")] = "0";
    fields[column("cycle_start")] = "";
    std::string line;
    for (const std::string& f : fields) line += (line.empty() ? "" : ",") + f;
    earlier += line + '\n';
  }
  ASSERT_NE(earlier, now);
  struct Case {
    const char* why;
    const std::string* rows;
    bool earlierDescription;
    int verified;
  };
  const Case cases[] = {
      {"an earlier version's file", &earlier, true, kExitOk},
      {"this version's rows under an earlier description", &now, true, kExitFailed},
      {"an earlier version's rows under this version's description", &earlier, false, kExitFailed},
      {"this version's file", &now, false, kExitOk},
  };
  for (const Case& c : cases) {
    Json meta = Json::parse(nowMeta);
    if (c.earlierDescription) meta.erase("rows_scheme");
    Sha256 digest;
    digest.Update(*c.rows);
    meta["rows_sha256"] = digest.Hex();
    Spit(In("s.csv"), *c.rows);
    Spit(In("s.csv.meta.json"), meta.dump(2) + '\n');
    const Outcome checked = Invoke({"verify", In("s.csv")});
    EXPECT_EQ(checked.status, c.verified) << c.why << '\n' << checked.out << checked.err;
    if (!c.earlierDescription) continue;
    const Outcome resumed = Invoke(Concat(args_, {"--resume"}));
    EXPECT_EQ(resumed.status, kExitUsage) << c.why;
    EXPECT_EQ(resumed.err, "impactsim: --resume: " + Quoted(In("s.csv")) +
                               " was written by an earlier version of impactsim, whose rows give "
                               "period 0 to a run that ends in unanimity (now 1, at rest, as for "
                               "every run that stopped changing); continue it with that version, "
                               "or start a new file\n");
    EXPECT_EQ(Slurp(In("s.csv")), *c.rows) << c.why;
  }
}

struct DescriptionCase {
  std::string why;
  std::function<void(Json&)> change;
  Args resume;  // after the sweep's own arguments
  std::string mentions;
};

// Descriptions that do not name this sweep: status 2, one line, nothing
// changed.
TEST_F(SweepDescriptionTest, ResumeRefusesADescriptionOfAnotherSweep) {
  const auto earlier = [](std::uint32_t lastSeed) {
    return [lastSeed](Json& meta) {
      meta.erase("identity_scheme");
      meta["sweep_identity"] = TaskListIdentity(TwoRounds(lastSeed), RowFormat::Csv, {});
    };
  };
  const DescriptionCase cases[] = {
      {"an earlier file, one seed more", earlier(6), {"--seeds", "1-7"}, "different sweep"},
      {"an earlier file of other seeds", earlier(7), {}, "different sweep"},
      {"this version's identity taken for an earlier one",
       [](Json& meta) { meta.erase("identity_scheme"); },
       {},
       "different sweep"},
      {"an earlier identity taken for this version's",
       [](Json& meta) {
         meta["sweep_identity"] = TaskListIdentity(TwoRounds(6), RowFormat::Csv, {});
       },
       {},
       "different sweep"},
      {"an unknown scheme",
       [](Json& meta) { meta["identity_scheme"] = 3; },
       {},
       "identity scheme 3"},
      {"an unknown rows scheme",
       [](Json& meta) { meta["rows_scheme"] = 3; },
       {},
       "rows scheme 3, which this version"},
      {"a scheme that is no number",
       [](Json& meta) { meta["identity_scheme"] = "2"; },
       {},
       "does not describe a sweep"},
      // Descriptions verify could not read back, or that contradict the
      // sweep whose rows they describe.
      {"no command line", [](Json& meta) { meta.erase("command_line"); }, {}, "does not describe"},
      {"a command line asking for help",
       [](Json& meta) { meta["command_line"].push_back("--help"); },
       {},
       "records a sweep impactsim refuses: --help: shows the options"},
      {"a command line whose --out names no file",
       [](Json& meta) { meta["command_line"][9] = "--out"; },
       {},
       "records a sweep impactsim refuses: --out: given more than once"},
      {"another format", [](Json& meta) { meta["format"] = "jsonl"; }, {}, "records format"},
      {"another shard", [](Json& meta) { meta["shard"] = "1/2"; }, {}, "records shard \"1/2\""},
      {"another task count", [](Json& meta) { meta["tasks"] = 7; }, {}, "records tasks 7"},
      {"another tool", [](Json& meta) { meta["tool"] = "other"; }, {}, "records tool"},
  };
  for (const DescriptionCase& c : cases) {
    Prepare(c.change);
    const auto before = Snapshot();
    Args args = Concat(args_, {"--resume"});
    for (std::size_t i = 0; i + 1 < c.resume.size(); i += 2) {
      const auto it = std::find(args.begin(), args.end(), c.resume[i]);
      *(it + 1) = c.resume[i + 1];
    }
    const Outcome r = Invoke(args);
    EXPECT_EQ(r.status, kExitUsage) << c.why;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(c.mentions), std::string::npos) << c.why << ": " << r.err;
    EXPECT_EQ(Snapshot(), before) << c.why;
    fs::remove(In("s.csv"));
  }
}

// The description records every argument, whatever its bytes, and stays
// JSON; valid UTF-8 is recorded as it is.
TEST(SweepDescriptionArguments, AnyBytesAreRecordedAsValidUtf8) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain.csv", "plain.csv"},
      {"r\xc3\xa9sultats.csv", "r\xc3\xa9sultats.csv"},
      {"back\\slash\ttab", "back\\slash\ttab"},
      {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
      {"r\xe9sultats.csv", "r\\xe9sultats.csv"},
      {"a\\b\xff", "a\\\\b\\xff"},
      {"\xc3\xa9\xe9", "\xc3\xa9\\xe9"},
      {"\x80", "\\x80"},
      {"\xc0\xaf", "\\xc0\\xaf"},                    // overlong '/'
      {"\xe0\x80\xaf", "\\xe0\\x80\\xaf"},           // overlong '/'
      {"\xed\xa0\x80", "\\xed\\xa0\\x80"},           // a surrogate
      {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},  // past U+10FFFF
      {"\xe2\x82", "\\xe2\\x82"},                    // cut short
      {"\xe2\x82!", "\\xe2\\x82!"},
  };
  for (const auto& [arg, recorded] : cases) {
    EXPECT_EQ(RecordedArgument(arg), recorded) << Quoted(arg);
    EXPECT_NO_THROW((void)Json(RecordedArgument(arg)).dump()) << Quoted(arg);
  }
}

// Outputs named with a Latin-1 byte: the sweep runs, its description is
// JSON recording the names escaped, and --resume continues it, the series
// taken under the name its description records.
TEST_F(SweepTest, OutNamedOutsideUtf8) {
  const Args sweep = {"sweep", "--program", "kestane", "--rounds", "2", "--seeds", "1-4"};
  const std::string name = In("r\xe9sultats\\1.csv");
  const Args args = Concat(sweep, {"--out", name, "--series", In("s\xe9rie.csv")});
  const Outcome r = Invoke(args);
  ASSERT_EQ(r.status, kExitOk) << r.err;
  const std::string full = Invoke(sweep).out;
  EXPECT_EQ(Slurp(name), full);
  const Json meta = Json::parse(Slurp(name + ".meta.json"), nullptr, false);
  ASSERT_TRUE(meta.is_object());
  EXPECT_EQ(meta["command_line"][9], In("r\\xe9sultats\\\\1.csv"));
  EXPECT_EQ(meta["series"]["file"], In("s\\xe9rie.csv"));
  Spit(name, full.substr(0, full.size() - 10));
  CutShort(name);
  const Outcome resumed = Invoke(Concat(args, {"--resume"}));
  ASSERT_EQ(resumed.status, kExitOk) << resumed.err;
  EXPECT_EQ(Slurp(name), full);
}

}  // namespace
}  // namespace impactsim::cli
