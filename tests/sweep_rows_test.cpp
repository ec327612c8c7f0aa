// Whole sweeps in-process: every row is the run "impactsim run" makes, and
// the rows are the same whatever the threads, shards or format.

#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "cli/report.h"
#include "model/spatial_measures.h"
#include "sweep/sweep_rows.h"
#include "sweep/text_escape.h"
#include "tests/sweep_support.h"

namespace impactsim::cli {
namespace {

using namespace testing;
using Json = nlohmann::json;

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
      // A pattern blinking with period 2 from round 27.
      {"--program", "halvorn", "--distance", "nb", "--seeds", "8", "--rounds", "40"},
  };
  int checked = 0;
  std::set<std::string> kinds;
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
        if (!holds) return;
        if (!stop.empty()) stop += '+';
        stop += name;
      };
      add(rounds >= std::stoi(row.at("rounds")), "rounds");
      add(std::stoi(end[1]) + std::stoi(before[1]) == 0, "quiet");
      add(end[2] == std::to_string(cells) || end[3] == std::to_string(cells), "unanimity");
      EXPECT_EQ(row.at("stop"), stop + (std::stoi(row.at("period")) >= 2 ? "+cycle" : ""));
      EXPECT_FALSE(stop.empty());

      // The reading of period the rows promise: 1 at rest (the last round
      // changed nothing, or one opinion holds every cell), 2 or more a
      // pattern repeating, its census too, when the round limit cut it, and
      // 0 only a run still changing when the round limit ended it.
      const int period = std::stoi(row.at("period"));
      const bool unanimous = stop.find("unanimity") != std::string::npos;
      EXPECT_EQ(period == 1, unanimous || end[1] == "0");
      if (period == 0) {
        EXPECT_EQ(stop, "rounds");
      }
      if (period >= 2) {
        const std::vector<std::string> earlier =
            Fields(census[census.size() - 1 - static_cast<std::size_t>(period)]);
        EXPECT_EQ(earlier[3], end[3]);
      }
      kinds.insert(period == 1   ? (unanimous ? "unanimity" : "rest")
                   : period == 0 ? "changing"
                                 : "cycle");

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
  EXPECT_EQ(checked, 8 + 1 + 8 + 1 + 1);
  EXPECT_EQ(kinds, (std::set<std::string>{"changing", "cycle", "rest", "unanimity"}));
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

}  // namespace
}  // namespace impactsim::cli
