// impactsim sweep driven in-process: the spatial measures on hand-made grids,
// stop reasons, task order, bad input, agreement with single runs, identical
// rows whatever the threads or shards, the description file and resuming.

#include <fcntl.h>
#include <gtest/gtest.h>

#include <sys/file.h>
#include <unistd.h>
#include "scratch_dir.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "command_line.h"
#include "halvorn_program.h"
#include "kestane_program.h"
#include "run_options.h"
#include "simulation.h"
#include "sweep_command.h"
#include "sweep_measures.h"
#include "sweep_rows.h"
#include "sweep_runner.h"

namespace impactsim::cli {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;
using Json = nlohmann::json;

struct Outcome {
  int status;
  std::string out, err;
};

Outcome Invoke(const Args& args) {
  std::ostringstream out, err;
  FixedClock clock(4321);
  const int status = RunCommandLine(args, out, err, clock);
  return {status, out.str(), err.str()};
}

Args Concat(Args a, const Args& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

using testing::Slurp;

void Spit(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = line.find(',', start);
    fields.push_back(line.substr(start, comma == std::string::npos ? comma : comma - start));
    if (comma == std::string::npos) return fields;
    start = comma + 1;
  }
}

// CSV rows as column name -> value.
std::vector<std::map<std::string, std::string>> Records(const std::string& csv) {
  const std::vector<std::string> lines = Lines(csv);
  std::vector<std::map<std::string, std::string>> records;
  if (lines.empty()) return records;
  const std::vector<std::string> names = Fields(lines[0]);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> values = Fields(lines[i]);
    EXPECT_EQ(values.size(), names.size()) << lines[i];
    std::map<std::string, std::string> record;
    for (std::size_t c = 0; c < names.size() && c < values.size(); ++c)
      record[names[c]] = values[c];
    records.push_back(record);
  }
  return records;
}

class SweepTest : public testing::ScratchDirTest {
 protected:
  // Every file of the directory with its content.
  std::map<std::string, std::string> Snapshot() const {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir_)) {
      files[e.path().filename()] = Slurp(e.path());
    }
    return files;
  }
};

// ---------------------------------------------------------------- measures

struct GridCase {
  std::string name;
  std::vector<std::string> rows;  // one digit per cell
  bool wrapped;
  std::int64_t clusters;
  double likeShare;  // exact quotient of small integers
};

class MeasuresTest : public ::testing::TestWithParam<GridCase> {};

TEST_P(MeasuresTest, ClustersAndLikeNeighbours) {
  const GridCase& c = GetParam();
  std::vector<std::uint8_t> opinions;
  for (const std::string& row : c.rows) {
    ASSERT_EQ(row.size(), c.rows.size());
    for (const char digit : row) opinions.push_back(static_cast<std::uint8_t>(digit - '0'));
  }
  const OpinionGrid grid{opinions, static_cast<int>(c.rows.size()), c.wrapped};
  EXPECT_EQ(CountClusters(grid), c.clusters);
  EXPECT_EQ(LikeNeighbourShare(grid), c.likeShare);
}

INSTANTIATE_TEST_SUITE_P(
    HandMadeGrids, MeasuresTest,
    ::testing::Values(
        GridCase{"uniform_bounded", {"111", "111", "111"}, false, 1, 1.0},
        GridCase{"uniform_wrapped", {"222", "222", "222"}, true, 1, 1.0},
        GridCase{"checkerboard_bounded", {"1212", "2121", "1212", "2121"}, false, 16, 0.0},
        GridCase{"checkerboard_wrapped", {"1212", "2121", "1212", "2121"}, true, 16, 0.0},
        // An odd side joins the corners across the edges and pairs the others.
        GridCase{"odd_checkerboard_bounded", {"121", "212", "121"}, false, 9, 0.0},
        GridCase{"odd_checkerboard_wrapped", {"121", "212", "121"}, true, 4, 3.0 / 9.0},
        // Border cells have fewer neighbours on a bounded grid.
        GridCase{"stripes_bounded", {"1122", "1122", "1122", "1122"}, false, 2, 41.0 / 48.0},
        GridCase{"stripes_wrapped", {"1122", "1122", "1122", "1122"}, true, 2, 0.75},
        // The four corners are one group on the torus.
        GridCase{"corners_bounded", {"2112", "1111", "1111", "2112"}, false, 5, 7.0 / 12.0},
        GridCase{"corners_wrapped", {"2112", "1111", "1111", "2112"}, true, 2, 0.75},
        // A column of 2s that wraps top to bottom through the middle row's gap.
        GridCase{"column_wrapped", {"121", "111", "121"}, true, 2, 6.0 / 9.0},
        // Two arms joined only at the bottom: one group.
        GridCase{"u_shape_bounded", {"212", "212", "222"}, false, 2, 67.0 / 108.0},
        GridCase{"diagonal_pair_wrapped", {"12", "21"}, true, 4, 0.0},
        GridCase{"single_cell_bounded", {"1"}, false, 1, 1.0},
        GridCase{"single_cell_wrapped", {"2"}, true, 1, 1.0}),
    [](const auto& grid) { return grid.param.name; });

TEST(SweepMeasures, RejectsAGridOfTheWrongShape) {
  const std::vector<std::uint8_t> five(5, 1);
  EXPECT_THROW(CountClusters({five, 2, false}), std::invalid_argument);
  EXPECT_THROW(LikeNeighbourShare({five, 2, true}), std::invalid_argument);
  EXPECT_THROW(CountClusters({{}, 0, true}), std::invalid_argument);
}

// ---------------------------------------------------------------- stop reasons

TEST(SweepStop, JudgedFromTheLastTwoRoundsAndTheCensus) {
  const auto census = [](std::int32_t one, std::int32_t two) {
    Census c{};
    c[1] = one;
    c[2] = two;
    return c;
  };
  struct Case {
    std::int32_t last, setting, lastChanges, previousChanges;
    Census end;
    std::string expected;
  };
  const Case cases[] = {
      {50, 50, 3, 4, census(300, 100), "rounds"},
      {60, 50, 3, 4, census(300, 100), "rounds"},
      {49, 50, 3, 0, census(300, 100), ""},
      {7, 50, 0, 0, census(300, 100), "quiet"},
      {7, 50, 0, 1, census(300, 100), ""},
      {1, 50, 0, 0, census(300, 100), "quiet"},  // nothing changed before round 1
      {3, 50, 12, 5, census(400, 0), "unanimity"},
      {3, 50, 12, 5, census(0, 400), "unanimity"},
      {5, 5, 0, 0, census(400, 0), "rounds+quiet+unanimity"},
      {5, 5, 0, 0, census(399, 1), "rounds+quiet"},
      {4, 5, 0, 0, census(0, 400), "quiet+unanimity"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(JudgeStop(c.last, c.setting, c.lastChanges, c.previousChanges, c.end, 400).Text(),
              c.expected)
        << c.last << "/" << c.setting << " changes " << c.lastChanges << "," << c.previousChanges;
  }
}

// ---------------------------------------------------------------- task order

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

// ---------------------------------------------------------------- bad input

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

// Rewrites done.csv through a function of its lines.
std::function<void(const fs::path&)> Edit(std::function<void(std::vector<std::string>&)> change) {
  return [change](const fs::path& dir) {
    std::vector<std::string> lines = Lines(Slurp(dir / "done.csv"));
    change(lines);
    std::string text;
    for (const std::string& line : lines) text += line + '\n';
    Spit(dir / "done.csv", text);
  };
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
        BadInput{Sweep({"--seeds", "1", "--seeds", "2"}), "--seeds: given more than once"},
        BadInput{Sweep({"--seeds", "1", "--distance", "2,,4"}), "--distance: expects"},
        BadInput{Sweep({"--seeds", "1", "--distance", "5"}), "--distance"},
        BadInput{Sweep({"--seeds", "1", "--distance", "2,"}), "--distance"},
        BadInput{Sweep({"--seeds", "1", "--rounds", "0"}), "--rounds"},
        BadInput{Sweep({"--seeds", "1", "--rounds", "50,050"}),
                 "--rounds: expects each value once"},
        BadInput{Sweep({"--seeds", "1", "--rounds", "5", "--rounds", "6"}), "--rounds"},
        BadInput{Sweep({"--seeds", "1", "--initial-dist", "0.4,0.5"}), "'0.5'"},
        BadInput{Sweep({"--seeds", "1", "--program", "halvorn,Kestane"}), "--program"},
        BadInput{Sweep({"--seeds", "1", "--program", "halvorn,kestane", "--edge", "on"}),
                 "--edge: only for --program halvorn, got --program kestane"},
        BadInput{Sweep({"--seeds", "1", "--program", "kestane", "--no-edge"}), "--no-edge"},
        BadInput{Sweep({"--seeds", "1", "--program", "kestane,halvorn", "--wide-scope"}),
                 "--wide-scope"},
        BadInput{Sweep({"--seeds", "1", "--program", "kestane", "--remove-self", "off"}),
                 "--remove-self"},
        BadInput{Sweep({"--seeds", "1", "--edge", "maybe"}), "--edge"},
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
                 Edit([](std::vector<std::string>& l) { l.push_back(l.back()); })}));

// ---------------------------------------------------------------- rows

// Each row is the run "impactsim run" makes with the row's seed and settings:
// its counts and stop reasons agree with that run's log and census file, and
// its measures with that run's final grid.
TEST_F(SweepTest, RowsAgreeWithSingleRuns) {
  const Args sweeps[] = {
      {"--program", "halvorn", "--edge", "on,off", "--rounds", "2,30", "--seeds",
       "12345000,86399999"},
      {"--program", "halvorn", "--distance", "nb", "--wide-scope", "--remove-self", "--summation",
       "--sequential", "--initial-dist", "0.1", "--rounds", "6", "--seeds", "4"},
      {"--program", "kestane", "--sequential", "on,off", "--summation", "off,on", "--seeds",
       "0,777"},
      // Seed 0 changes nothing in round 4 but does in round 3: stopped by
      // the rounds alone, not quiet.
      {"--program", "kestane", "--rounds", "4", "--seeds", "0"},
  };
  int checked = 0;
  for (const Args& sweep : sweeps) {
    const Outcome s = Invoke(Concat(Concat({"sweep"}, sweep), {"--jobs", "2"}));
    ASSERT_EQ(s.status, kExitOk) << s.err;
    for (const auto& row : Records(s.out)) {
      Args run = {"run",
                  "--program",
                  row.at("program"),
                  "--seed",
                  row.at("seed"),
                  "--rounds",
                  row.at("rounds"),
                  "--initial-dist",
                  row.at("initial_dist"),
                  "--distance",
                  row.at("distance"),
                  "--census-csv",
                  In("c.csv"),
                  "--grid-out",
                  In("g.txt")};
      const bool kestane = row.at("program") == "kestane";
      if (!kestane) run.push_back(row.at("edge") == "on" ? "--edge" : "--no-edge");
      if (row.at("wide_scope") == "on") run.push_back("--wide-scope");
      if (row.at("remove_self") == "on") run.push_back("--remove-self");
      if (row.at("summation") == "on") run.push_back("--summation");
      run.push_back(row.at("sequential") == "on" ? "--sequential" : "--simultaneous");
      const Outcome r = Invoke(run);
      ASSERT_EQ(r.status, kExitOk) << r.err;
      SCOPED_TRACE(::testing::PrintToString(run));

      // The log's last round, and the census rows: round 0, then each round.
      const std::vector<std::string> log = Lines(r.out);
      ASSERT_GE(log.size(), 3u);
      const int rounds = std::stoi(log[log.size() - 2]);
      EXPECT_EQ(row.at("rounds_run"), std::to_string(rounds));
      const std::vector<std::string> census = Lines(Slurp(In("c.csv")));
      ASSERT_EQ(census.size(), static_cast<std::size_t>(rounds) + 2);
      const std::vector<std::string> start = Fields(census[1]);
      const std::vector<std::string> end = Fields(census.back());
      const std::vector<std::string> before = Fields(census[census.size() - 2]);
      EXPECT_EQ(row.at("opinion1_start"), start[2]);
      EXPECT_EQ(row.at("opinion2_start"), start[3]);
      EXPECT_EQ(row.at("opinion1_end"), end[2]);
      EXPECT_EQ(row.at("opinion2_end"), end[3]);
      const int cells = kestane ? 400 : 1600;
      std::string stop;
      const auto add = [&stop](bool holds, const char* name) {
        if (holds) stop += (stop.empty() ? "" : "+") + std::string(name);
      };
      add(rounds >= std::stoi(row.at("rounds")), "rounds");
      add(std::stoi(end[1]) + std::stoi(before[1]) == 0, "quiet");
      add(end[2] == std::to_string(cells) || end[3] == std::to_string(cells), "unanimity");
      EXPECT_EQ(row.at("stop"), stop);
      EXPECT_FALSE(stop.empty());

      std::vector<std::uint8_t> opinions;
      for (const char c : Slurp(In("g.txt"))) {
        if (c != '\n') opinions.push_back(static_cast<std::uint8_t>(c - '0'));
      }
      ASSERT_EQ(opinions.size(), static_cast<std::size_t>(cells));
      const OpinionGrid grid{opinions, kestane ? 20 : 40, kestane || row.at("edge") == "off"};
      const auto twos = std::count(opinions.begin(), opinions.end(), 2);
      EXPECT_EQ(row.at("minority_share_end"), ShortestDecimal(static_cast<double>(twos) / cells));
      EXPECT_EQ(row.at("clusters_end"), std::to_string(CountClusters(grid)));
      EXPECT_EQ(row.at("like_neighbours_end"), ShortestDecimal(LikeNeighbourShare(grid)));
      ++checked;
    }
  }
  EXPECT_EQ(checked, 8 + 1 + 8 + 1);
}

// The same rows, byte for byte, whatever the number of threads; shards
// together give them too; JSON lines hold the same values as CSV.
TEST_F(SweepTest, RowsIndependentOfThreadsShardsAndFormat) {
  const Args base = {"sweep",          "--program", "kestane", "--rounds", "5",
                     "--initial-dist", "0.4,0.1",   "--seeds", "0-19"};
  const Outcome one = Invoke(Concat(base, {"--jobs", "1"}));
  ASSERT_EQ(one.status, kExitOk) << one.err;
  EXPECT_EQ(Lines(one.out).size(), 41u);
  for (const char* jobs : {"2", "5", "64"}) {
    EXPECT_EQ(Invoke(Concat(base, {"--jobs", jobs})).out, one.out) << jobs;
  }

  std::vector<std::string> merged;
  for (const char* shard : {"0/3", "1/3", "2/3"}) {
    const std::vector<std::string> part = Lines(Invoke(Concat(base, {"--shard", shard})).out);
    ASSERT_FALSE(part.empty());
    EXPECT_EQ(part[0], Lines(one.out)[0]);
    merged.insert(merged.end(), part.begin() + 1, part.end());
  }
  std::sort(merged.begin(), merged.end(), [](const std::string& a, const std::string& b) {
    return std::stoul(a) < std::stoul(b);
  });
  const std::vector<std::string> all = Lines(one.out);
  EXPECT_EQ(merged, std::vector<std::string>(all.begin() + 1, all.end()));

  const Outcome json = Invoke(Concat(base, {"--format", "jsonl", "--jobs", "3"}));
  ASSERT_EQ(json.status, kExitOk) << json.err;
  const auto records = Records(one.out);
  const std::vector<std::string> objects = Lines(json.out);
  ASSERT_EQ(objects.size(), records.size());
  for (std::size_t i = 0; i < objects.size(); ++i) {
    const Json row = Json::parse(objects[i]);
    ASSERT_EQ(row.size(), records[i].size());
    for (const auto& [name, text] : records[i]) {
      const Json& value = row.at(name);
      if (value.is_null()) {
        EXPECT_EQ(text, "") << name;
      } else if (value.is_string()) {
        EXPECT_EQ(value.get<std::string>(), text) << name;
      } else {
        EXPECT_EQ(value.get<double>(), std::stod(text)) << name;
      }
    }
  }
}

// ---------------------------------------------------------------- --out

TEST_F(SweepTest, OutFileHasADescription) {
  const Args args = {"sweep", "--program", "kestane", "--rounds", "1",        "--seeds",
                     "5-7",   "--shard",   "1/2",     "--out",    In("s.csv")};
  const Outcome r = Invoke(args);
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(Lines(Slurp(In("s.csv"))).size(), 2u);  // header and task 1
  const Json meta = Json::parse(Slurp(In("s.csv.meta.json")));
  EXPECT_EQ(meta["tool"], "impactsim");
  const std::string version = meta["version"];
  EXPECT_EQ(std::count(version.begin(), version.end(), '.'), 2) << version;
  EXPECT_EQ(version.find_first_not_of("0123456789."), std::string::npos) << version;
  EXPECT_EQ(meta["command_line"], Json(Concat({"impactsim"}, args)));
  EXPECT_EQ(meta["format"], "csv");
  EXPECT_EQ(meta["shard"], "1/2");
  EXPECT_EQ(meta["tasks"], 3);
  EXPECT_EQ(meta["shard_tasks"], 1);
  std::string names;
  for (const Json& column : meta["columns"]) {
    names += (names.empty() ? "" : ",") + column["name"].get<std::string>();
    EXPECT_FALSE(column["meaning"].get<std::string>().empty());
  }
  EXPECT_EQ(names + "\n", CsvHeader(false));
  EXPECT_EQ(meta["sweep_identity"].get<std::string>().size(), 16u);
}

// The identity follows the tasks, not their spelling on the command line.
TEST(SweepIdentity, FollowsTheTaskListFormatAndShard) {
  const auto plan = [](auto change) {
    SweepPlan p;
    p.Programs = {&KestaneProgram()};
    change(p);
    return p;
  };
  const SweepPlan base = plan([](SweepPlan& p) { p.Seeds.Append(1, 3); });
  const std::string id = SweepIdentity(base, RowFormat::Csv, {});
  const SweepPlan spelledApart = plan([](SweepPlan& p) {
    p.Seeds.Append(1, 1);
    p.Seeds.Append(2, 2);
    p.Seeds.Append(3, 3);
    p.Rounds = {KestaneProgram().Defaults.Rounds};
    p.Sequential = {true};
  });
  EXPECT_EQ(SweepIdentity(spelledApart, RowFormat::Csv, {}), id);
  const SweepPlan reordered = plan([](SweepPlan& p) {
    p.Seeds.Append(3, 3);
    p.Seeds.Append(1, 2);
  });
  EXPECT_NE(SweepIdentity(reordered, RowFormat::Csv, {}), id);
  const SweepPlan other = plan([](SweepPlan& p) {
    p.Seeds.Append(1, 3);
    p.Summation = {true};
  });
  EXPECT_NE(SweepIdentity(other, RowFormat::Csv, {}), id);
  EXPECT_NE(SweepIdentity(base, RowFormat::Jsonl, {}), id);
  EXPECT_NE(SweepIdentity(base, RowFormat::Csv, {0, 2}), id);
}

// A sweep cut short anywhere (mid-header, between rows, mid-row) and resumed
// gives the file of an uninterrupted sweep, and the description stays.
TEST_F(SweepTest, ResumeCompletesAFileCutAnywhere) {
  for (const char* format : {"csv", "jsonl"}) {
    const Args args = {"sweep",   "--program",      "kestane", "--rounds", "3",   "--seeds",
                       "100-111", "--initial-dist", "0.2",     "--format", format};
    const std::string whole = std::string("whole.") + format;
    const std::string part = std::string("part.") + format;
    ASSERT_EQ(Invoke(Concat(args, {"--out", In(whole)})).status, kExitOk);
    const std::string full = Slurp(In(whole));
    const std::string meta = Slurp(In(whole + ".meta.json"));
    const std::vector<std::string> lines = Lines(full);
    std::vector<std::size_t> cuts = {0, 5, full.size()};
    std::size_t offset = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      cuts.push_back(offset + lines[i].size() / 2);  // inside line i
      offset += lines[i].size() + 1;
      cuts.push_back(offset);  // after line i
    }
    for (const std::size_t cut : cuts) {
      Spit(In(part), full.substr(0, cut));
      Spit(In(part + ".meta.json"), meta);
      const Outcome r = Invoke(Concat(args, {"--out", In(part), "--resume", "--jobs", "3"}));
      ASSERT_EQ(r.status, kExitOk) << format << " cut at " << cut << ": " << r.err;
      EXPECT_EQ(Slurp(In(part)), full) << format << " cut at " << cut;
      // An emptied file is started afresh, with a new description of the
      // same sweep.
      const std::string resumedMeta = Slurp(In(part + ".meta.json"));
      if (cut > 0) {
        EXPECT_EQ(resumedMeta, meta);
      }
      EXPECT_EQ(Json::parse(resumedMeta)["sweep_identity"], Json::parse(meta)["sweep_identity"]);
    }
  }
}

// Resuming keeps the rows that are there rather than running them again.
TEST_F(SweepTest, ResumeRunsOnlyTheMissingTasks) {
  const Args args = {"sweep",   "--program", "kestane", "--rounds", "2",
                     "--seeds", "1-6",       "--out",   In("s.csv")};
  ASSERT_EQ(Invoke(args).status, kExitOk);
  const std::string whole = Slurp(In("s.csv"));
  std::vector<std::string> lines = Lines(whole);
  // Row of task 1 with a different (but well-formed) result, and rows 3.. gone.
  lines[2] = lines[2].substr(0, lines[2].rfind(',')) + ",0.5";
  std::string kept;
  for (std::size_t i = 0; i < 4; ++i) kept += lines[i] + '\n';
  Spit(In("s.csv"), kept);
  ASSERT_EQ(Invoke(Concat(args, {"--resume"})).status, kExitOk);
  const std::vector<std::string> resumed = Lines(Slurp(In("s.csv")));
  const std::vector<std::string> original = Lines(whole);
  ASSERT_EQ(resumed.size(), original.size());
  EXPECT_EQ(resumed[2], lines[2]);
  for (std::size_t i = 3; i < original.size(); ++i) EXPECT_EQ(resumed[i], original[i]);
  // A complete file has nothing left to run.
  ASSERT_EQ(Invoke(Concat(args, {"--resume"})).status, kExitOk);
  EXPECT_EQ(Lines(Slurp(In("s.csv"))), resumed);
}

TEST_F(SweepTest, ResumeOfAMissingOrEmptyFileStartsAfresh) {
  const Args args = {"sweep", "--program", "kestane", "--rounds", "1", "--seeds", "1-2"};
  const std::string expected = Invoke(args).out;
  Spit(In("empty.csv"), "");
  for (const char* name : {"new.csv", "empty.csv"}) {
    const Outcome r = Invoke(Concat(args, {"--out", In(name), "--resume"}));
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(Slurp(In(name)), expected) << name;
    EXPECT_TRUE(fs::exists(In(std::string(name) + ".meta.json")));
  }
}

// Two sweeps never write one file: the second finds it locked.
TEST_F(SweepTest, AFileBeingWrittenIsLeftAlone) {
  const Args args = {"sweep",   "--program", "kestane", "--rounds",  "1",
                     "--seeds", "1-2",       "--out",   In("s.csv"), "--resume"};
  Spit(In("s.csv"), "");
  const int fd = ::open(In("s.csv").c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  const Outcome r = Invoke(args);
  ::close(fd);
  EXPECT_EQ(r.status, kExitUsage);
  EXPECT_NE(r.err.find("--out: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("another sweep"), std::string::npos) << r.err;
  EXPECT_EQ(Slurp(In("s.csv")), "");
}

// Rows that cannot be written end the sweep with status 1 and one line.
TEST(SweepOutput, AFailedWriteIsReported) {
  std::ostringstream out, err;
  out.setstate(std::ios::badbit);
  FixedClock clock(0);
  EXPECT_EQ(RunCommandLine({"sweep", "--program", "kestane", "--rounds", "1", "--seeds", "1-50"},
                           out, err, clock),
            kExitFailed);
  EXPECT_EQ(err.str(), "impactsim: stdout: write failed\n");
}

// ---------------------------------------------------------------- threads

// Results reach the consumer in item order however long each item takes,
// across more items than the window of pending results holds.
TEST(SweepRunner, HandsResultsOverInOrder) {
  struct Case {
    std::uint64_t count;
    unsigned jobs;
  };
  for (const Case c : {Case{0, 3}, Case{1, 4}, Case{200, 1}, Case{200, 3}, Case{3000, 2}}) {
    std::string expected;
    for (std::uint64_t i = 0; i < c.count; ++i) expected += std::to_string(i) + '\n';
    std::string got;
    OrderedWork work;
    work.Count = c.count;
    work.Jobs = c.jobs;
    work.Produce = [](std::uint64_t i) {
      // Early items are slow, so later ones finish first.
      if (i % 7 == 0) std::this_thread::sleep_for(std::chrono::microseconds(i < 50 ? 300 : 20));
      return std::to_string(i) + '\n';
    };
    work.Consume = [&got](std::string_view rows) {
      EXPECT_FALSE(rows.empty());
      got += rows;
      return true;
    };
    EXPECT_TRUE(RunInOrder(work));
    EXPECT_EQ(got, expected) << c.count << " items, " << c.jobs << " jobs";
  }
}

TEST(SweepRunner, StopsOnAFailureOrWhenTheConsumerRefuses) {
  std::string got;
  OrderedWork work;
  work.Count = 500;
  work.Jobs = 3;
  work.Produce = [](std::uint64_t i) {
    if (i == 37) throw std::runtime_error("item 37 failed");
    return std::to_string(i) + '\n';
  };
  work.Consume = [&got](std::string_view rows) { return got += rows, true; };
  try {
    RunInOrder(work);
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "item 37 failed");
  }
  std::string prefix;
  for (int i = 0; i < 37; ++i) prefix += std::to_string(i) + '\n';
  EXPECT_TRUE(prefix.starts_with(got)) << got;

  std::atomic<int> produced = 0;
  work.Produce = [&produced](std::uint64_t i) { return ++produced, std::to_string(i) + '\n'; };
  int calls = 0;
  work.Consume = [&calls](std::string_view) { return ++calls, false; };
  EXPECT_FALSE(RunInOrder(work));
  EXPECT_EQ(calls, 1);
}

TEST(SweepProgress, ShowsRunsRateAndTimeLeft) {
  struct Case {
    std::uint64_t done, total;
    double seconds;
    std::string expected;
  };
  const Case cases[] = {
      {0, 10, 0.0, "0/10 runs [........................]  -- runs/s  --:-- left"},
      {5, 10, 2.0, "5/10 runs [############............]  2.5 runs/s  0:02 left"},
      {10, 10, 4.0, "10/10 runs [########################]  2.5 runs/s  0:00 left"},
      {1, 7202, 1.0, "1/7202 runs [........................]  1.0 runs/s  2:00:01 left"},
  };
  for (const Case& c : cases) EXPECT_EQ(ProgressText(c.done, c.total, c.seconds), c.expected);
}

}  // namespace
}  // namespace impactsim::cli
