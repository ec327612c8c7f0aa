// Start files through the headless runner: a population written with
// --start-out comes back whole through --start, a sweep's tasks start from
// their files as runs do, and a bad file is refused before anything runs
// with the file and the line at fault.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/command_line.h"
#include "cli/report.h"
#include "sweep/sha256.h"
#include "sweep/start_file.h"
#include "tests/scratch_dir.h"

namespace impactsim::cli {
namespace {

using Args = std::vector<std::string>;
using Lines = std::vector<std::string>;
using testing::Slurp;

struct FixedClock : Clock {
  std::uint32_t MillisecondsOfDay() override { return ++reads, 1000; }
  int reads = 0;
};

struct Outcome {
  int status;
  std::string out, err;
  int clockReads;
};

Outcome Invoke(const Args& args) {
  std::ostringstream out, err;
  FixedClock clock;
  const int status = RunCommandLine(args, out, err, clock);
  return {status, out.str(), err.str(), clock.reads};
}

Lines Split(const std::string& text) {
  Lines lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Join(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + '\n';
  return text;
}

class StartFileTest : public testing::ScratchDirTest {
 protected:
  // The start population of a kestane run (20 x 20) with its strengths.
  std::string KestaneStart(const std::string& seed) {
    const Outcome r = Invoke({"run", "--program", "kestane", "--seed", seed, "--rounds", "1",
                              "--start-out", In("made.txt")});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    const std::string text = Slurp(In("made.txt"));
    std::filesystem::remove(In("made.txt"));
    return text;
  }
};

// A run from a file starts from that very population: its own --start-out
// gives the file back byte for byte with --strengths file, and with the
// opinions alone the strengths it would have drawn.
TEST_F(StartFileTest, RunStartsFromTheFilesPopulation) {
  const std::string given = KestaneStart("111");
  const std::string drawn = KestaneStart("222");
  ASSERT_NE(given, drawn);
  std::ofstream(In("given.txt")) << given;
  const auto opinionsOf = [](const std::string& text) { return text.substr(0, 20 * 21); };
  std::ofstream(In("opinions.txt")) << opinionsOf(given);
  struct Case {
    std::string file;
    Args extra;
    std::string expected;
  };
  const Case cases[] = {
      {"given.txt", {"--strengths", "file"}, given},
      {"given.txt", {}, opinionsOf(given) + drawn.substr(20 * 21)},
      {"opinions.txt", {}, opinionsOf(given) + drawn.substr(20 * 21)},
  };
  for (const Case& c : cases) {
    Args args = {"run", "--program", "kestane",  "--seed",      "222",          "--rounds",
                 "1",   "--start",   In(c.file), "--start-out", In("again.txt")};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const Outcome r = Invoke(args);
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(Slurp(In("again.txt")), c.expected) << c.file << ' ' << c.extra.size();
  }
}

// Every opinion 1..16 is one character, 10..16 the letters a..g, and reads
// back as itself with its strengths.
TEST_F(StartFileTest, OpinionsUpTo16RoundTrip) {
  Grid grid(4);
  for (int y = 1; y <= 4; ++y) {
    for (int x = 1; x <= 4; ++x) {
      Cell& cell = grid.At(x, y);
      cell.Opinion = static_cast<std::uint8_t>((y - 1) * 4 + x);
      cell.Persuasiveness = static_cast<std::uint8_t>(6 * cell.Opinion);
      cell.Supportiveness = static_cast<std::uint8_t>(100 - cell.Opinion);
    }
  }
  const std::string text = PopulationText(grid, true);
  EXPECT_EQ(text.substr(0, 20), "1234\n5678\n9abc\ndefg\n");
  std::ofstream(In("all.txt")) << text;
  const StartFile file = ReadStartFile(In("all.txt"));
  const StartPopulation& read = *file.Population;
  ASSERT_EQ(read.Side, 4);
  for (std::size_t i = 0; i < 16; ++i) {
    EXPECT_EQ(read.Opinions[i], i + 1);
    EXPECT_EQ(read.Persuasiveness[i], 6 * (i + 1));
    EXPECT_EQ(read.Supportiveness[i], 100 - (i + 1));
  }
}

// The lines of a series that belong to task `task` (0..9), numbered as
// task 0's.
Lines TaskSeries(const std::string& text, char task) {
  Lines lines;
  for (const std::string& line : Split(text)) {
    if (line.size() < 2 || line[0] != task || line[1] != ',') continue;
    lines.push_back(line);
    lines.back()[0] = '0';
  }
  return lines;
}

const Args kFromFiles = {"--program", "kestane", "--rounds", "4",      "--strengths",
                         "file",      "--seeds", "5",        "--quiet"};

// Each task of a sweep over start files is, round by round, the run from
// its file with its seed; the rows name each file by its bytes' digest.
TEST_F(StartFileTest, SweepTasksAreTheRunsFromTheirFiles) {
  const std::pair<char, std::string> files[] = {{'0', "a.txt"}, {'1', "b.txt"}};
  std::ofstream(In("a.txt")) << KestaneStart("444");
  std::ofstream(In("b.txt")) << KestaneStart("555");
  Args sweep = {"sweep",         "--start",      In("a.txt") + "," + In("b.txt"),
                "--out",         In("rows.csv"), "--series",
                In("series.csv")};
  sweep.insert(sweep.end(), kFromFiles.begin(), kFromFiles.end());
  const Outcome s = Invoke(sweep);
  ASSERT_EQ(s.status, kExitOk) << s.err;
  const std::string series = Slurp(In("series.csv"));
  const Lines rows = Split(Slurp(In("rows.csv")));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_NE(rows[0].find(",start,"), std::string::npos) << rows[0];
  for (const auto& [task, file] : files) {
    const Outcome r = Invoke({"run", "--program", "kestane", "--rounds", "4", "--strengths", "file",
                              "--seed", "5", "--start", In(file), "--series", In("run.csv")});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    const Lines run = TaskSeries(Slurp(In("run.csv")), '0');
    ASSERT_GE(run.size(), 2u);
    EXPECT_EQ(TaskSeries(series, task), run) << file;
    Sha256 digest;
    digest.Update(Slurp(In(file)));
    const std::string row = rows.at(task == '0' ? 1 : 2);
    EXPECT_NE(row.find(",sha256:" + digest.Hex() + ","), std::string::npos) << row;
  }
}

// Verify and resume load the start file again: one edited or gone since
// the sweep was written is refused by name, with the rows left as they were.
TEST_F(StartFileTest, SweepFromAFileEditedAfterwards) {
  struct Case {
    const char* what;
    const char* change;  // "", "edit" or "remove"
    bool resume;         // else verify
    int status;
    std::vector<std::string> mentions;
  };
  const Case cases[] = {
      {"verify unchanged", "", false, kExitOk, {"agrees"}},
      {"verify edited", "edit", false, kExitUsage, {"a.txt'", "has changed since"}},
      {"resume edited", "edit", true, kExitUsage, {"--start: ", "a.txt'", "has changed since"}},
      {"verify removed", "remove", false, kExitUsage, {"a.txt'", "cannot read"}},
  };
  for (const Case& c : cases) {
    std::string start = KestaneStart("444");
    std::ofstream(In("a.txt")) << start;
    Args sweep = {"sweep", "--start", In("a.txt"), "--out", In("rows.csv")};
    sweep.insert(sweep.end(), kFromFiles.begin(), kFromFiles.end());
    std::filesystem::remove(In("rows.csv"));
    ASSERT_EQ(Invoke(sweep).status, kExitOk) << c.what;
    const std::string rows = Slurp(In("rows.csv"));
    start[0] = start[0] == '1' ? '2' : '1';
    if (c.change == std::string("edit")) std::ofstream(In("a.txt")) << start;
    if (c.change == std::string("remove")) std::filesystem::remove(In("a.txt"));
    if (c.resume) sweep.push_back("--resume");
    const Outcome r = Invoke(c.resume ? sweep : Args{"verify", In("rows.csv")});
    EXPECT_EQ(r.status, c.status) << c.what << ": " << r.err;
    const std::string said = r.out + r.err;
    for (const std::string& text : c.mentions) {
      EXPECT_NE(said.find(text), std::string::npos) << c.what << ": " << said;
    }
    if (c.status != kExitOk) {
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_EQ(Slurp(In("rows.csv")), rows) << c.what;
  }
}

struct BadStart {
  const char* what;
  Lines (*edit)(Lines);  // made from a good kestane start file; null: no file
  Args extra;
  std::vector<std::string> mentions;  // texts the one error line must hold
  bool sweepOnly = false;             // a list: no run takes it
};

// Replaces `count` characters of line `line` (1-based) from `from` with `with`.
Lines Edit(Lines lines, std::size_t line, std::size_t from, std::size_t count, const char* with) {
  lines.at(line - 1).replace(from, count, with);
  return lines;
}

const BadStart kBadStarts[] = {
    {"side of another grid",
     [](Lines l) { return l; },
     {"--side", "30"},
     {"--start: ", "side 20", "side 30"}},
    {"opinion 0",
     [](Lines l) { return Edit(l, 3, 0, 1, "0"); },
     {},
     {"line 3", "got '0' in column 1"}},
    {"opinion 3",
     [](Lines l) { return Edit(l, 4, 19, 1, "3"); },
     {},
     {"line 4", "expects opinions 1..2 (--opinions 2), got '3' in column 20"}},
    {"opinion 16 of two",
     [](Lines l) { return Edit(l, 2, 6, 1, "g"); },
     {},
     {"line 2", "expects opinions 1..2 (--opinions 2), got 'g' in column 7"}},
    {"opinion 5 of four",
     [](Lines l) { return Edit(l, 6, 2, 1, "5"); },
     {"--opinions", "4"},
     {"line 6", "expects opinions 1..4 (--opinions 4), got '5' in column 3"}},
    {"opinion 4 of one task of three",
     [](Lines l) { return Edit(l, 6, 2, 1, "4"); },
     {"--opinions", "4,3"},
     {"line 6", "expects opinions 1..3 (--opinions 3), got '4' in column 3"},
     true},
    {"no opinion h",
     [](Lines l) { return Edit(l, 7, 2, 1, "h"); },
     {},
     {"line 7", "expects opinions 1..9 or a..g (10..16), got 'h' in column 3"}},
    {"ragged row",
     [](Lines l) { return Edit(l, 5, 0, 1, ""); },
     {},
     {"line 5", "expects 20 cells"}},
    {"too few rows",
     [](Lines l) { return Lines(l.begin() + 1, l.begin() + 20); },
     {},
     {"line 19", "got 19"}},
    {"bad pair",
     [](Lines l) { return Edit(l, 22, 0, l[21].find(' '), "7-7"); },
     {},
     {"line 22", "'7-7'"}},
    {"strength 101",
     [](Lines l) { return Edit(l, 30, 0, l[29].find(' '), "101/0"); },
     {},
     {"line 30", "'101/0'"}},
    {"short row of pairs",
     [](Lines l) { return Edit(l, 23, 0, l[22].find(' ') + 1, ""); },
     {},
     {"line 23", "got 19"}},
    {"short strengths block",
     [](Lines l) { return l.pop_back(), l; },
     {},
     {"line 41", "20 rows of strengths"}},
    {"extra line",
     [](Lines l) { return l.push_back("1/1"), l; },
     {},
     {"line 42", "end of the file"}},
    {"no strengths for file",
     [](Lines l) { return Lines(l.begin(), l.begin() + 20); },
     {"--strengths", "file"},
     {"--strengths: ", "holds none"}},
    {"with an initial count",
     [](Lines l) { return l; },
     {"--initial-count", "10"},
     {"--start: ", "--initial-count"}},
    {"empty file", [](Lines) { return Lines{}; }, {}, {"empty file"}},
    {"missing file", nullptr, {}, {"--start: cannot read '", "No such file"}},
    {"side of one task of a sweep",
     [](Lines l) { return l; },
     {"--side", "20,30"},
     {"--start: ", "side 20", "side 30"},
     true},
};

class BadStartTest : public StartFileTest, public ::testing::WithParamInterface<BadStart> {};

// Status 2, one line naming --start's file (or --strengths) and what is wrong,
// the clock never read and no output file made: by a run, and by a sweep
// whose tasks hold the same settings.
TEST_P(BadStartTest, RefusedBeforeTheRun) {
  const std::string good = KestaneStart("333");
  if (GetParam().edit != nullptr) {
    std::ofstream(In("start.txt")) << Join(GetParam().edit(Split(good)));
  }
  const Args commands[] = {{"run", "--grid-out", In("g")},
                           {"sweep", "--seeds", "1,2", "--out", In("g")}};
  for (Args args : commands) {
    if (GetParam().sweepOnly && args[0] == "run") continue;
    const Args start = {"--program", "kestane", "--start", In("start.txt")};
    args.insert(args.end(), start.begin(), start.end());
    args.insert(args.end(), GetParam().extra.begin(), GetParam().extra.end());
    const Outcome r = Invoke(args);
    EXPECT_EQ(r.status, kExitUsage) << args[0];
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find("start.txt"), std::string::npos) << r.err;
    for (const std::string& text : GetParam().mentions) {
      EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
    }
    EXPECT_EQ(r.clockReads, 0);
    EXPECT_FALSE(std::filesystem::exists(In("g")));
  }
}

// One population under two names is one value given twice: the rows would
// repeat their tasks under one digest.
TEST_F(StartFileTest, ASweepTakesEachPopulationOnce) {
  std::ofstream(In("start.txt")) << KestaneStart("333");
  std::filesystem::copy_file(In("start.txt"), In("copy.txt"));
  const Outcome r = Invoke({"sweep", "--program", "kestane", "--seeds", "1", "--start",
                            In("start.txt") + "," + In("copy.txt"), "--out", In("g")});
  EXPECT_EQ(r.status, kExitUsage);
  EXPECT_NE(r.err.find("--start: expects each population once"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(In("g")));
}

INSTANTIATE_TEST_SUITE_P(Table, BadStartTest, ::testing::ValuesIn(kBadStarts), [](const auto& row) {
  std::string name = row.param.what;
  std::replace(name.begin(), name.end(), ' ', '_');
  return name;
});

}  // namespace
}  // namespace impactsim::cli
