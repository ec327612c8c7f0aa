// The headless runner driven in-process: bad input, what a run writes, seeds,
// help and the all-or-nothing output files.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include "tests/scratch_dir.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/report.h"
#include "cli/run_command.h"
#include "model/seeded_run.h"
#include "model/simulation.h"
#include "programs/programs.h"
#include "sweep/output_file.h"
#include "sweep/run_options.h"
#include "sweep/setting_options.h"
#include "sweep/sweep_command_line.h"

namespace impactsim::cli {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

// A clock that counts how often it is read.
struct CountingClock : Clock {
  explicit CountingClock(std::uint32_t value) : ms(value) {}
  std::uint32_t MillisecondsOfDay() override { return ++reads, ms; }
  std::uint32_t ms;
  int reads = 0;
};

struct Outcome {
  int status;
  std::string out, err;
  int clockReads;
};

Outcome Invoke(const Args& args, std::uint32_t clockMs = 4321) {
  std::ostringstream out, err;
  CountingClock clock(clockMs);
  const int status = RunCommandLine(args, out, err, clock);
  return {status, out.str(), err.str(), clock.reads};
}

using testing::Slurp;

class CliTest : public testing::ScratchDirTest {
 protected:
  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
};

struct BadInput {
  Args args;
  std::string mentions;  // text the error line must contain
};

class BadInputTest : public CliTest, public ::testing::WithParamInterface<BadInput> {};

// Every bad command line: status 2, nothing on stdout, one error line naming
// the culprit, the clock never read, and no file created or changed.
TEST_P(BadInputTest, RejectedBeforeAnythingHappens) {
  std::ofstream(In("old.csv")) << "kept\n";
  Args args = GetParam().args;
  if (!args.empty()) {
    args.insert(args.end(), {"--census-csv", In("old.csv"), "--grid-out", In("new.grid")});
  }
  const Outcome r = Invoke(args);
  EXPECT_EQ(r.status, kExitUsage);
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(r.err.starts_with("impactsim: ")) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_NE(r.err.find(GetParam().mentions), std::string::npos) << r.err;
  EXPECT_EQ(r.clockReads, 0);
  EXPECT_EQ(Listing(), std::vector<std::string>{"old.csv"});
  EXPECT_EQ(Slurp(In("old.csv")), "kept\n");
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadInputTest,
    ::testing::Values(BadInput{{}, "command"}, BadInput{{"walk"}, "'walk'"},
                      BadInput{{"--bogus", "run"}, "--bogus"},
                      BadInput{{"run", "--bogus"}, "--bogus"},
                      BadInput{{"run", "stray"}, "'stray'"}, BadInput{{"run", "--seed"}, "--seed"},
                      BadInput{{"run", "--seed", "12ab"}, "'12ab'"},
                      BadInput{{"run", "--seed", "-1"}, "--seed"},
                      BadInput{{"run", "--seed", "86400000"}, "0..86399999"},
                      BadInput{{"run", "--seed", "1", "--seed", "2"}, "--seed"},
                      BadInput{{"run", "--rounds", "0"}, "--rounds"},
                      BadInput{{"run", "--rounds", "2147483648"}, "--rounds"},
                      BadInput{{"run", "--rounds", "1.5"}, "--rounds"},
                      BadInput{{"run", "--rounds", "--summation"}, "--rounds"},
                      BadInput{{"run", "--initial-dist", "1.5"}, "a decimal 0..1"},
                      BadInput{{"run", "--distance", "65"}, "--distance"},
                      BadInput{{"run", "--scope", "17,10", "--wide-scope"},
                               "--scope: cannot be combined with --wide-scope"},
                      BadInput{{"run", "--program", "kestane", "--scope", "3,2"},
                               "--scope: only for --program halvorn"},
                      BadInput{{"run", "--side", "20", "--initial-count", "401"},
                               "--initial-count: expects at most the 400 cells"},
                      BadInput{{"run", "--opinions", "3", "--initial-shares", "0.5,0.5"},
                               "--initial-shares: expects one share per opinion, 3 for "
                               "--opinions 3, got 2"},
                      BadInput{{"run", "--initial-shares", "0.2,0.3,0.5"},
                               "--initial-shares: expects one share per opinion, 2 for "
                               "--opinions 2, got 3"},
                      BadInput{{"run", "--opinions", "3", "--initial-dist", "0.3"},
                               "--initial-dist: applies to two opinions only"},
                      BadInput{{"run", "--initial-dist", "0.3", "--initial-shares", "0.7,0.3"},
                               "--initial-dist: cannot be combined with --initial-shares"},
                      BadInput{{"run", "--opinions", "4", "--initial-count", "0"},
                               "--initial-count: applies to two opinions only, got --opinions 4"},
                      BadInput{{"run", "--no-edge", "--side", "16"},
                               "--side: on a torus of side 16 the neighbourhood 17:10 reaches 8"},
                      BadInput{{"run", "--program", "Halvorn"}, "--program"},
                      BadInput{{"run", "--program", "kestane", "--edge"}, "--edge"},
                      BadInput{{"run", "--program", "kestane", "--no-edge"}, "--no-edge"},
                      BadInput{{"run", "--program", "kestane", "--wide-scope"}, "--wide-scope"},
                      BadInput{{"run", "--program", "kestane", "--remove-self"}, "--remove-self"},
                      BadInput{{"run", "--edge", "--no-edge"}, "--edge"},
                      BadInput{{"run", "--sequential", "--simultaneous"}, "--sequential"},
                      BadInput{{"run", "--summation=1"}, "--summation"},
                      BadInput{{"run", "--seed="}, "--seed"}, BadInput{{"run", "run"}, "run"}));

// An output that cannot be created, or one file named for both outputs, is
// found before the run, and the output that could be created is not left behind.
TEST_F(CliTest, UnwritableOutputIsBadInput) {
  std::ofstream(In("old.csv")) << "kept\n";
  for (const std::string& grid :
       {In("missing/g.txt"), dir_.string(), In("sub/"), In("./old.csv")}) {
    const Outcome r = Invoke({"run", "--census-csv", In("old.csv"), "--grid-out", grid});
    EXPECT_EQ(r.status, kExitUsage) << grid;
    EXPECT_NE(r.err.find("--grid-out"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Listing(), std::vector<std::string>{"old.csv"});
    EXPECT_EQ(Slurp(In("old.csv")), "kept\n");
  }
  // The picture outputs are checked the same way, each against the others.
  for (const Args& pictures :
       {Args{"--map-png", In("missing/m.png")}, Args{"--chart-png", In("old.csv")},
        Args{"--map-png", In("p.png"), "--chart-png", In("./p.png")}}) {
    Args args = {"run", "--census-csv", In("old.csv")};
    args.insert(args.end(), pictures.begin(), pictures.end());
    const Outcome r = Invoke(args);
    EXPECT_EQ(r.status, kExitUsage) << r.err;
    EXPECT_NE(r.err.find(pictures[pictures.size() - 2]), std::string::npos) << r.err;
    EXPECT_EQ(Listing(), std::vector<std::string>{"old.csv"});
  }
}

// Each option reaches the engine: the runner's outputs equal those of the
// engine run directly with the expected settings, which differ from the
// defaults' outputs so that a dropped option would show.
TEST_F(CliTest, OptionsReachTheEngine) {
  struct Case {
    Args args;
    const ProgramProfile& program;
    RunSettings settings;
  };
  RunSettings h = HalvornProgram().Defaults, k = KestaneProgram().Defaults;
  h.Rounds = k.Rounds = 3;
  const auto with = [](RunSettings s, auto change) { return change(s), s; };
  const Case cases[] = {
      {{}, HalvornProgram(), h},
      {{"--no-edge"}, HalvornProgram(), with(h, [](RunSettings& s) { s.Edge = false; })},
      {{"--wide-scope"}, HalvornProgram(), with(h, [](RunSettings& s) { s.WideScope = true; })},
      {{"--remove-self"}, HalvornProgram(), with(h, [](RunSettings& s) { s.RemoveSelf = true; })},
      {{"--sequential"}, HalvornProgram(), with(h, [](RunSettings& s) { s.RandomSeq = true; })},
      {{"--distance", "nb"},
       HalvornProgram(),
       with(h, [](RunSettings& s) { s.Distance = DistancePar::Nb; })},
      {{"--program", "kestane"}, KestaneProgram(), k},
      {{"--program", "kestane", "--simultaneous"},
       KestaneProgram(),
       with(k, [](RunSettings& s) { s.RandomSeq = false; })},
      {{"--program", "kestane", "--summation"},
       KestaneProgram(),
       with(k, [](RunSettings& s) { s.SummationM = true; })},
      {{"--program", "kestane", "--distance", "4"},
       KestaneProgram(),
       with(k, [](RunSettings& s) { s.Distance = DistancePar::Four; })},
      {{"--program", "kestane", "--initial-dist", "0.1"},
       KestaneProgram(),
       with(k, [](RunSettings& s) { s.InitialShare = 0.1; })},
  };
  constexpr std::uint32_t kSeed = 31415926;
  // The log and the final grid of an engine run.
  const auto engine = [](const ProgramProfile& program, const RunSettings& s) {
    struct Log : RunObserver {
      void AppendLog(std::string_view line) override { text.append(line).append("\n"); }
      std::string text;
    } log;
    const SeededRun run = RunSeeded(program, kSeed, s, log);
    return log.text + GridText(run.Population);
  };
  for (const Case& c : cases) {
    Args args = {"run", "--seed", std::to_string(kSeed), "--rounds", "3", "--grid-out", In("g")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Outcome r = Invoke(args);
    ASSERT_EQ(r.status, kExitOk) << r.err;
    const std::string expected = engine(c.program, c.settings);
    EXPECT_EQ(r.out + Slurp(In("g")), expected) << ::testing::PrintToString(c.args);
    const RunSettings& defaults = &c.program == &HalvornProgram() ? h : k;
    if (!(c.settings == defaults)) {
      EXPECT_NE(expected, engine(c.program, defaults));
    }
  }
}

// The census file agrees with the log and the series, and the grid file
// with the last census, opinion by opinion, however many opinions the run
// has.
TEST_F(CliTest, CensusAndGridMatchTheLog) {
  struct Case {
    Args args;
    std::string header;
    int side;
  };
  const Case cases[] = {
      {{"--program", "kestane", "--seed", "777"}, "round,changes,opinion1,opinion2", 20},
      {{"--program", "kestane", "--seed", "777", "--opinions", "4"},
       "round,changes,opinion1,opinion2,opinion3,opinion4",
       20},
      {{"--seed", "5", "--rounds", "3", "--side", "12", "--opinions", "16"},
       "round,changes,opinion1,opinion2,opinion3,opinion4,opinion5,opinion6,opinion7,opinion8,"
       "opinion9,opinion10,opinion11,opinion12,opinion13,opinion14,opinion15,opinion16",
       12},
  };
  for (const Case& c : cases) {
    Args args = {"run",       "--census-csv", In("c.csv"), "--grid-out",
                 In("g.txt"), "--series",     In("s.csv")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Outcome r = Invoke(args);
    ASSERT_EQ(r.status, kExitOk) << r.err;
    std::istringstream log(r.out), csv(Slurp(In("c.csv"))), series(Slurp(In("s.csv")));
    std::string logLine, row, line;
    std::getline(csv, row);
    EXPECT_EQ(row, c.header);
    std::getline(series, line);
    EXPECT_EQ(line, "task," + c.header + ",clusters,like_neighbours");
    const auto opinions = static_cast<std::size_t>(std::count(row.begin(), row.end(), ',') - 1);
    std::vector<int> last;
    for (int round = 0; std::getline(log, logLine) && logLine != kEndOfJobLine; ++round) {
      ASSERT_TRUE(std::getline(csv, row)) << logLine;
      ASSERT_TRUE(std::getline(series, line)) << logLine;
      EXPECT_EQ(line.substr(0, row.size() + 3), "0," + row + ",");
      std::vector<int> fields;
      std::istringstream in(row);
      for (std::string field; std::getline(in, field, ',');) fields.push_back(std::stoi(field));
      ASSERT_EQ(fields.size(), opinions + 2) << row;
      EXPECT_EQ(fields[0], round);
      EXPECT_EQ(logLine, round == 0 ? RunStartLine(0) : RoundLine(round, fields[1]));
      last.assign(fields.begin() + 2, fields.end());
      EXPECT_EQ(std::accumulate(last.begin(), last.end(), 0), c.side * c.side) << row;
    }
    EXPECT_FALSE(std::getline(csv, row)) << row;
    EXPECT_FALSE(std::getline(series, line)) << line;
    EXPECT_FALSE(std::getline(log, logLine)) << logLine;
    const std::string grid = Slurp(In("g.txt"));
    EXPECT_EQ(grid.size(), static_cast<std::size_t>(c.side * (c.side + 1)));
    EXPECT_EQ(std::count(grid.begin(), grid.end(), '\n'), c.side);
    if (opinions > 9) {
      EXPECT_NE(grid.find_first_of("abcdefg"), std::string::npos) << grid;
    }
    for (std::size_t k = 1; k <= last.size(); ++k) {
      const char mark = "0123456789abcdefg"[k];
      EXPECT_EQ(std::count(grid.begin(), grid.end(), mark), last[k - 1]) << mark;
    }
  }
}

// "seed: N" precedes every run; without --seed the clock is read once and its
// value repeats the run; a seeded run never reads it and is the same twice.
TEST_F(CliTest, SeedLineRepeatsTheRun) {
  const Outcome unseeded = Invoke({"run", "--rounds", "4"}, 4321);
  const Outcome seeded = Invoke({"run", "--rounds", "4", "--seed", "4321"}, 99);
  const Outcome again = Invoke({"run", "--rounds", "4", "--seed", "4321"}, 98);
  EXPECT_EQ(unseeded.err, "seed: 4321\n");
  EXPECT_EQ(unseeded.clockReads, 1);
  EXPECT_EQ(seeded.err, "seed: 4321\n");
  EXPECT_EQ(seeded.clockReads, 0);
  EXPECT_EQ(seeded.out, unseeded.out);
  EXPECT_EQ(again.out, seeded.out);
  EXPECT_NE(Invoke({"run", "--rounds", "4", "--seed", "4322"}).out, seeded.out);
}

// Every option a command takes is in its help, and in the full help.
// The log reaches a pipe round by round, not when the run is over: the
// stream is flushed at the end of every round.
TEST_F(CliTest, LogIsFlushedEveryRound) {
  struct CountingBuffer : std::stringbuf {
    int syncs = 0;
    int sync() override { return ++syncs, std::stringbuf::sync(); }
  } buffer;
  std::ostream out(&buffer);
  std::ostringstream err;
  CountingClock clock(0);
  ASSERT_EQ(
      RunCommandLine({"run", "--seed", "8", "--distance", "nb", "--rounds", "40"}, out, err, clock),
      kExitOk);
  EXPECT_GE(buffer.syncs, 40);
}

// Every option the parser knows is in the help: that of its command, and
// the top level's, which lists every command with all of its options.
TEST_F(CliTest, HelpListsEveryOption) {
  std::string all;
  for (const auto& [command, options] : CommandOptions()) {
    ASSERT_FALSE(options.empty()) << command;
    const Outcome top = Invoke({"--help"});
    const Outcome own = Invoke({command, "--help"});
    for (const Outcome* help : {&top, &own}) {
      EXPECT_EQ(help->status, kExitOk);
      EXPECT_EQ(help->err, "");
      for (const std::string& option : options) {
        // An option is listed as "  --name ...", "  -h,--name ..." or, an
        // operand, "  FILE ...".
        const bool listed = help->out.find(" " + option + " ") != std::string::npos ||
                            help->out.find("," + option + " ") != std::string::npos;
        EXPECT_TRUE(listed) << option << " of " << command << " in the help"
                            << (help == &top ? "" : " of " + command);
      }
    }
  }
  EXPECT_EQ(Invoke({"run", "-h"}).out, Invoke({"run", "--help"}).out);
}

// Each run setting takes every spelling of a value as that value's one
// text, refuses text that is none of its values, and reaches its own field
// of the settings and no other.
TEST(CliValues, EverySettingReadsBackWhatItWritesIntoItsOwnField) {
  struct Case {
    std::string_view setting;
    const char* typed;
    const char* value;  // null: refused
  };
  const Case cases[] = {
      {"rounds", "1", "1"},
      {"rounds", "2147483647", "2147483647"},
      {"rounds", "0", nullptr},
      {"rounds", "2147483648", nullptr},
      {"rounds", "+1", nullptr},
      {"rounds", "1e3", nullptr},
      {"initial-dist", "0.30", "0.3"},
      {"initial-dist", "0.5", "0.5"},
      {"initial-dist", "1", "1"},
      {"initial-dist", "0", "0"},
      {"initial-dist", "1e-5", "0.00001"},
      {"initial-dist", "1.01", nullptr},
      {"initial-dist", "-0", nullptr},
      {"initial-dist", ".5", nullptr},
      {"initial-dist", " 0.3", nullptr},
      {"initial-dist", "inf", nullptr},
      {"distance", "nb", "nb"},
      {"distance", "2.0", "2"},
      {"distance", "2.75", "2.75"},
      {"distance", "64.5", nullptr},
      {"distance", "NB", nullptr},
      {"distance", "0x1p1", nullptr},
      {"edge", "on", "on"},
      {"edge", "On", nullptr},
      {"side", "4", "4"},
      {"side", "3", nullptr},
      {"side", "401", nullptr},
      {"scope", "17,10", "17:10"},
      {"scope", "29:19.0", "29:19"},
      {"scope", "5:2.5", "5:2.5"},
      {"scope", "0:10", nullptr},
      {"scope", "101:5", nullptr},
      {"scope", "17", nullptr},
      {"scope", "17:10:1", nullptr},
      {"scope", "17:-1", nullptr},
      {"initial-count", "0", "0"},
      {"initial-count", "160001", nullptr},
      {"strengths", "uniform", "uniform"},
      {"strengths", "equal:050", "equal:50"},
      {"strengths", "file", "file"},
      {"strengths", "file:x", nullptr},
      {"strengths", "equal:101", nullptr},
      {"strengths", "equal:", nullptr},
      {"strengths", "Equal:5", nullptr},
      {"opinions", "02", "2"},
      {"opinions", "1", nullptr},
      {"opinions", "17", nullptr},
      {"initial-shares", "0.5,0.30,0.2", "0.5:0.3:0.2"},
      {"initial-shares", "0.7:0.3", "0.7:0.3"},
      {"initial-shares", "0.3333333333,0.3333333333,0.3333333334",
       "0.3333333333:0.3333333333:0.3333333334"},
      {"initial-shares", "0.33333333,0.33333333,0.33333333", nullptr},
      {"initial-shares", "0.5,0.3", nullptr},
      {"initial-shares", "1", nullptr},
      {"initial-shares", "0.5,,0.5", nullptr},
      {"initial-shares", "0.5,0.5,", nullptr},
      {"initial-shares", "1.5,-0.5", nullptr},
      {"initial-shares",
       "0,0.0625,0.0625,0.0625,0.0625,0.0625,0.0625,0.0625,0.0625,0.0625,0.0625,0.0625,0.0625,"
       "0.0625,0.0625,0.0625,0.0625",
       nullptr},
      {"noise", "0.25", "0.25"},
      {"noise", "1000001", nullptr},
  };
  const RunSettings base = HalvornProgram().Defaults;
  for (const Case& c : cases) {
    const auto setting = std::ranges::find(SettingOptions(), c.setting, &SettingOption::Name);
    ASSERT_NE(setting, SettingOptions().end()) << c.setting;
    SCOPED_TRACE(std::string(c.setting) + " " + c.typed);
    const auto value = setting->Parse(c.typed);
    if (c.value == nullptr) {
      EXPECT_EQ(value, std::nullopt);
      continue;
    }
    ASSERT_EQ(value, c.value);
    EXPECT_EQ(setting->Parse(*value), value);
    RunSettings changed = base;
    setting->Set(changed, *value);
    EXPECT_EQ(setting->Get(changed), *value);
    for (const SettingOption& other : SettingOptions()) {
      if (&other == &*setting) continue;
      EXPECT_EQ(other.Get(changed), other.Get(base)) << other.Name;
    }
  }
  // The windows' items are the values they show.
  RunSettings s;
  SettingOptions()[1].Set(s, "0.1");
  EXPECT_EQ(s.InitialShare, kInitialDistItems[3]);
  SettingOptions()[2].Set(s, "nb");
  EXPECT_EQ(s.Distance, DistancePar::Nb);
  SettingOptions()[2].Set(s, "4");
  EXPECT_EQ(s.Distance, DistancePar::Four);
  EXPECT_EQ(ParseSeed("0086399999"), 86399999u);
  EXPECT_EQ(ParseSeed("86400000"), std::nullopt);
  EXPECT_EQ(ProgramNamed("kestane"), &KestaneProgram());
  EXPECT_EQ(ProgramNamed("Kestane"), nullptr);
}

TEST_F(CliTest, OutputFileReplacesWholeOrNotAtAll) {
  std::ofstream(In("out")) << "old\n";
  std::string error;
  {
    OutputFile file(In("out"));
    ASSERT_TRUE(file.Open(error)) << error;
    file.Write("new\n");
    EXPECT_EQ(Slurp(In("out")), "old\n");  // not before Commit
  }                                        // dropped without Commit
  EXPECT_EQ(Listing(), std::vector<std::string>{"out"});
  EXPECT_EQ(Slurp(In("out")), "old\n");

  OutputFile blocked(In("dir"));
  ASSERT_TRUE(blocked.Open(error)) << error;
  blocked.Write("text\n");
  fs::create_directory(In("dir"));  // the target turns into a directory meanwhile
  fs::create_directory(In("dir/x"));
  EXPECT_FALSE(blocked.Commit(error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(Listing(), (std::vector<std::string>{"dir", "out"}));

  OutputFile file(In("out"));
  ASSERT_TRUE(file.Open(error)) << error;
  file.Write("new\n");
  ASSERT_TRUE(file.Commit(error)) << error;
  EXPECT_EQ(Slurp(In("out")), "new\n");
  EXPECT_EQ(Listing(), (std::vector<std::string>{"dir", "out"}));
  // Made like any new file, not with the temporary file's private mode.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  struct stat st {};
  ASSERT_EQ(::stat(In("out").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777u, 0666u & ~mask);
}

}  // namespace
}  // namespace impactsim::cli
