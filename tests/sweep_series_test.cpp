// The per-round series of a sweep (--series) and of a single run: what its
// lines hold, that they agree with the rows and the census of the same runs,
// and that an interrupted sweep resumes both files to the bytes of an
// uninterrupted one.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/report.h"
#include "sweep/readable_file.h"
#include "sweep/text_escape.h"
#include "tests/sweep_support.h"

namespace impactsim::cli {
namespace {

using namespace testing;

// Both programs, runs that rest, blink (halvorn seed 8 with nb) or reach the
// round limit, on bounded and wrapped grids.
const Args kSweep = {"sweep",  "--program", "halvorn", "--distance", "nb,2", "--edge",
                     "on,off", "--rounds",  "40,500",  "--seeds",    "7-9",  "--quiet"};
const Args kKestane = {"sweep",   "--program", "kestane", "--initial-dist",
                       "0.4,0.1", "--seeds",   "76-78",   "--quiet"};
// Three and sixteen opinions: the series has the cells of opinions 3..16.
const Args kOpinions = {"sweep", "--program", "kestane", "--opinions",
                        "3,16",  "--seeds",   "76-78",   "--quiet"};

class SweepSeriesTest : public SweepTest {
 protected:
  Args Sweep(const Args& base, const std::string& format) {
    return Concat(base, {"--format", format, "--out", In("rows"), "--series", In("series")});
  }
};

// Every task has rounds 0..rounds_run, in task order; round 0 is the start
// and the last round the end the row reports; the census of every round is
// the one "impactsim run --census-csv" writes for the same run, and
// "impactsim run --series" writes the same lines.
TEST_F(SweepSeriesTest, EveryRoundOfEveryTaskAgreesWithItsRowAndItsRun) {
  ASSERT_EQ(Invoke(Sweep(kSweep, "csv")).status, kExitOk);
  const auto rows = Records(Slurp(In("rows")));
  const auto rounds = Records(Slurp(In("series")));
  const auto seriesLines = Lines(Slurp(In("series")));
  ASSERT_EQ(rows.size(), 24u);
  std::size_t next = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE("task " + row.at("task"));
    const int roundsRun = std::stoi(row.at("rounds_run"));
    ASSERT_LE(next + static_cast<std::size_t>(roundsRun) + 1, rounds.size());
    Args run = {"run",
                "--seed",
                row.at("seed"),
                "--rounds",
                row.at("rounds"),
                "--distance",
                row.at("distance"),
                row.at("edge") == "on" ? "--edge" : "--no-edge",
                "--census-csv",
                In("census"),
                "--series",
                In("one")};
    ASSERT_EQ(Invoke(run).status, kExitOk);
    const auto census = Records(Slurp(In("census")));
    ASSERT_EQ(census.size(), static_cast<std::size_t>(roundsRun) + 1);
    std::string mine;  // this task's lines without the task column
    for (std::size_t i = next + 1; i <= next + static_cast<std::size_t>(roundsRun) + 1; ++i) {
      mine += seriesLines[i].substr(seriesLines[i].find(',')) + '\n';
    }
    const auto one = Lines(Slurp(In("one")));
    std::string theirs;
    for (std::size_t i = 1; i < one.size(); ++i) theirs += one[i].substr(one[i].find(',')) + '\n';
    EXPECT_EQ(mine, theirs) << "impactsim run --series";
    for (int r = 0; r <= roundsRun; ++r) {
      const auto& line = rounds[next++];
      EXPECT_EQ(line.at("task"), row.at("task"));
      EXPECT_EQ(line.at("round"), std::to_string(r));
      for (const char* c : {"round", "changes", "opinion1", "opinion2"}) {
        EXPECT_EQ(line.at(c), census[static_cast<std::size_t>(r)].at(c)) << c << " round " << r;
      }
      const char* when = r == 0 ? "_start" : r == roundsRun ? "_end" : nullptr;
      if (when == nullptr) continue;
      for (const std::string c : {"clusters", "like_neighbours", "opinion1", "opinion2"}) {
        EXPECT_EQ(line.at(c), row.at(c + when)) << c << when;
      }
    }
  }
  EXPECT_EQ(next, rounds.size());
}

// The bytes do not depend on the threads, and shards merge into the whole.
TEST_F(SweepSeriesTest, SameBytesForAnyJobsAndShards) {
  for (const char* format : {"csv", "jsonl"}) {
    SCOPED_TRACE(format);
    ASSERT_EQ(Invoke(Concat(Sweep(kKestane, format), {"--jobs", "1"})).status, kExitOk);
    const std::string whole = Slurp(In("series"));
    fs::remove(In("rows"));
    fs::remove(In("series"));
    ASSERT_EQ(Invoke(Concat(Sweep(kKestane, format), {"--jobs", "2"})).status, kExitOk);
    EXPECT_EQ(Slurp(In("series")), whole);
    // Two shards: their lines, grouped by task in task order, are the whole.
    std::vector<std::vector<std::string>> byShard;
    for (const char* shard : {"0/2", "1/2"}) {
      const Args args = Concat(
          kKestane, {"--format", format, "--shard", shard, "--out", In("p"), "--series", In("ps")});
      ASSERT_EQ(Invoke(args).status, kExitOk);
      byShard.push_back(Lines(Slurp(In("ps"))));
      fs::remove(In("p"));
      fs::remove(In("ps"));
    }
    std::string merged;
    std::size_t at[2] = {0, 0};
    const bool csv = std::string(format) == "csv";
    if (csv) merged = byShard[0][0] + '\n', at[0] = at[1] = 1;
    for (std::size_t task = 0; at[task % 2] < byShard[task % 2].size(); ++task) {
      auto& lines = byShard[task % 2];
      const std::string key =
          csv ? std::to_string(task) + "," : "{\"task\":" + std::to_string(task) + ",";
      while (at[task % 2] < lines.size() && lines[at[task % 2]].starts_with(key)) {
        merged += lines[at[task % 2]++] + '\n';
      }
    }
    EXPECT_EQ(merged, whole);
    fs::remove(In("rows"));
    fs::remove(In("series"));
  }
}

// A sweep cut short leaves the series ahead of the rows, or either file with
// a torn last line: --resume drops what has no row and ends with the files
// of an uninterrupted sweep.
TEST_F(SweepSeriesTest, ResumeRestoresBothFilesWhereverTheyWereCut) {
  for (const auto& [base, format] : {std::pair{kKestane, "csv"}, std::pair{kKestane, "jsonl"},
                                     std::pair{kOpinions, "csv"}, std::pair{kOpinions, "jsonl"}}) {
    SCOPED_TRACE(base[4] + " " + format);
    const Args args = Sweep(base, format);
    ASSERT_EQ(Invoke(args).status, kExitOk);
    const std::string rows = Slurp(In("rows"));
    const std::string series = Slurp(In("series"));
    const std::vector<std::string> rowLines = Lines(rows);
    // Where each row and each task's rounds end, in bytes.
    const bool csv = format == std::string("csv");
    std::vector<std::size_t> rowEnd, taskEnd;
    std::size_t at = 0;
    for (std::size_t i = 0; i < rowLines.size(); ++i) {
      at += rowLines[i].size() + 1;
      if (!csv || i > 0) rowEnd.push_back(at);
    }
    const std::vector<std::string> roundLines = Lines(series);
    at = 0;
    for (std::size_t i = 0; i < roundLines.size(); ++i) {
      at += roundLines[i].size() + 1;
      const auto task = [&roundLines](std::size_t l) {
        return roundLines[l].substr(0, roundLines[l].find(','));
      };
      const bool last = i + 1 == roundLines.size() || task(i + 1) != task(i);
      if ((!csv || i > 0) && last) taskEnd.push_back(at);
    }
    ASSERT_EQ(rowEnd.size(), 6u);
    ASSERT_EQ(taskEnd.size(), 6u);
    const std::size_t header = csv ? rowLines[0].size() + 1 : 0;
    const std::size_t seriesHeader = csv ? roundLines[0].size() + 1 : 0;
    // Rows kept: whole lines, perhaps a torn one after them; the series:
    // those rows' rounds, perhaps some of the next task's, the last line
    // perhaps torn; as a sweep cut short between files or inside a write
    // leaves them.
    struct Cut {
      std::size_t rows;    // bytes of the rows file kept
      std::size_t series;  // bytes of the series file kept
    };
    const Cut cuts[] = {
        {0, 0},
        {0, seriesHeader + 30},           // no rows yet, some rounds
        {header / 2, seriesHeader / 2},   // torn headers
        {rowEnd[1], taskEnd[1]},          // between tasks
        {rowEnd[1], taskEnd[1] + 45},     // rounds past the rows kept
        {rowEnd[1] + 7, taskEnd[2]},      // a torn row, its rounds all there
        {rowEnd[1] + 7, taskEnd[2] - 3},  // both torn
        // Several tasks' rounds written in one go before their rows, whose
        // write then failed: the rounds run ahead by whole tasks.
        {rowEnd[1], taskEnd[3]},
        {rowEnd[1] + 7, taskEnd[4] + 20},
        {rows.size() - 5, series.size()},  // the last row torn
        {rows.size(), series.size()},      // nothing missing
    };
    for (const Cut& cut : cuts) {
      SCOPED_TRACE(std::to_string(cut.rows) + " " + std::to_string(cut.series));
      if (cut.series > 0 && cut.rows == 0) {
        // Rounds before any row, and the rows file absent: only the
        // sweep's own description lets the series start again.
        fs::remove(In("rows"));
      } else {
        Spit(In("rows"), rows.substr(0, cut.rows));
      }
      Spit(In("series"), series.substr(0, cut.series));
      CutShort(In("rows"));
      const Outcome r = Invoke(Concat(args, {"--resume"}));
      ASSERT_EQ(r.status, kExitOk) << r.err;
      EXPECT_EQ(Slurp(In("rows")), rows);
      EXPECT_EQ(Slurp(In("series")), series);
    }
    fs::remove(In("rows"));
    fs::remove(In("series"));
  }
}

struct SeriesDamage {
  std::string why;
  std::function<void(std::string& series)> change;
  std::string mentions;
  bool complete = false;  // the description as the complete sweep left it, with its digests
};

void PrintTo(const SeriesDamage& d, std::ostream* os) {
  *os << d.why;
}

class SeriesRefusalTest : public SweepSeriesTest,
                          public ::testing::WithParamInterface<SeriesDamage> {};

// A series that does not belong to the rows kept is refused, naming the
// line (or, once the sweep was complete, the digest it no longer has), with
// status 2 and nothing run or changed.
TEST_P(SeriesRefusalTest, RefusesRoundsThatDoNotBelongToTheRows) {
  const Args args = Sweep(kKestane, "csv");
  ASSERT_EQ(Invoke(args).status, kExitOk);
  if (!GetParam().complete) CutShort(In("rows"));
  std::string series = Slurp(In("series"));
  GetParam().change(series);
  Spit(In("series"), series);
  const auto before = Snapshot();
  const Outcome r = Invoke(Concat(args, {"--resume"}));
  EXPECT_EQ(r.status, kExitUsage);
  EXPECT_TRUE(r.err.starts_with("impactsim: --series: ")) << r.err;
  EXPECT_NE(r.err.find(GetParam().mentions), std::string::npos) << r.err;
  EXPECT_EQ(Snapshot(), before);
}

void Replace(std::string& text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  text.replace(at, from.size(), to);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SeriesRefusalTest,
    ::testing::Values(
        SeriesDamage{"no header", [](std::string& s) { s.erase(0, s.find('\n') + 1); },
                     "CSV header"},
        SeriesDamage{"a round missing",
                     [](std::string& s) {
                       const std::size_t third = s.find('\n', s.find('\n') + 1) + 1;
                       s.erase(third, s.find('\n', third) + 1 - third);
                     },
                     "line 3"},
        SeriesDamage{"every round of a task missing",
                     [](std::string& s) { s.resize(s.find("\n1,0,") + 1); }, "is missing"},
        SeriesDamage{"a census that does not add up",
                     [](std::string& s) { Replace(s, "\n0,1,", "\n0,1,9"); }, "line 3"},
        SeriesDamage{"a start that is not the row's",
                     [](std::string& s) {
                       const std::size_t line = s.find('\n') + 1;
                       const std::size_t end = s.find('\n', line);
                       std::string zero = s.substr(line, end - line);
                       // Clusters one more than the row's clusters_start.
                       const std::size_t comma = zero.rfind(',', zero.rfind(',') - 1);
                       const std::string clusters =
                           zero.substr(comma + 1, zero.rfind(',') - comma - 1);
                       zero.replace(comma + 1, clusters.size(),
                                    std::to_string(std::stoi(clusters) + 1));
                       s.replace(line, end - line, zero);
                     },
                     "line 2"},
        SeriesDamage{"a line spelled otherwise",
                     [](std::string& s) { Replace(s, "\n0,0,0,", "\n0,00,0,"); }, "line 2"},
        SeriesDamage{"a round after the last task's",
                     [](std::string& s) { s += s.substr(s.rfind('\n', s.size() - 2) + 1); },
                     "one more than the rounds of every task"},
        SeriesDamage{"a line longer than the bound of a line",
                     [](std::string& s) {
                       const std::size_t third = s.find('\n', s.find('\n') + 1) + 1;
                       s.insert(third, std::string(kLineLimit, '0'));
                     },
                     "cannot be read"},
        SeriesDamage{"a line of another task",
                     [](std::string& s) { Replace(s, "\n0,0,0,", "\n1,0,0,"); }, "line 2"},
        SeriesDamage{"a share of like neighbours that is no whole twelfths per cell",
                     [](std::string& s) {
                       Replace(s, "\n0,1,134,325,75,7,0.88\n", "\n0,1,134,325,75,7,0.881\n");
                     },
                     "cannot be round 1 of task 0"},
        SeriesDamage{"a census whose sum would overflow 32 bits",
                     [](std::string& s) {
                       Replace(s, "\n0,1,134,325,75,", "\n0,1,134,2147483647,2147483647,");
                     },
                     "cannot be round 1 of task 0"},
        // Rounds between a task's first and last agree with nothing in its
        // row: only the digest tells such an edit.
        SeriesDamage{"a round's clusters changed after completion",
                     [](std::string& s) { Replace(s, "\n0,2,31,312,88,2,", "\n0,2,31,312,88,3,"); },
                     "is not the series_sha256 its description records", true}));

// The description names the series, its identity and its columns; a
// series is continued only with the rows and options it was started with.
TEST_F(SweepSeriesTest, TheDescriptionNamesTheSeries) {
  ASSERT_EQ(Invoke(Sweep(kKestane, "jsonl")).status, kExitOk);
  const auto meta = nlohmann::json::parse(Slurp(In("rows.meta.json")));
  EXPECT_EQ(meta.at("series").at("file"), In("series"));
  EXPECT_EQ(meta.at("series").at("identity").get<std::string>().size(), 16u);
  std::vector<std::string> names;
  for (const auto& c : meta.at("series").at("columns")) names.push_back(c.at("name"));
  EXPECT_EQ(names, (std::vector<std::string>{"task", "round", "changes", "opinion1", "opinion2",
                                             "clusters", "like_neighbours"}));
  // The series under another name is not the one the description names,
  // where verify would look for it.
  fs::rename(In("series"), In("renamed"));
  const auto before = Snapshot();
  const Outcome renamed = Invoke(Concat(
      kKestane, {"--format", "jsonl", "--out", In("rows"), "--series", In("renamed"), "--resume"}));
  EXPECT_EQ(renamed.status, kExitUsage);
  EXPECT_EQ(renamed.err, "impactsim: --series: " + Quoted(In("renamed")) +
                             " is not the series the description of " + Quoted(In("rows")) +
                             " names, " + Quoted(In("series")) +
                             "; continue the sweep with that file\n");
  EXPECT_EQ(Snapshot(), before);
  fs::rename(In("renamed"), In("series"));
  // Another format is another sweep; the series of a sweep without one is refused.
  const Outcome other = Invoke(Concat(Sweep(kKestane, "csv"), {"--resume"}));
  EXPECT_EQ(other.status, kExitUsage);
  EXPECT_NE(other.err.find("different sweep"), std::string::npos) << other.err;
}

}  // namespace
}  // namespace impactsim::cli
