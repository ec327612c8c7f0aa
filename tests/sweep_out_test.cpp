// The --out file of a sweep: its description, resuming a file cut short
// anywhere, the lock against a second sweep, and writes that fail.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/report.h"
#include "sweep/sweep_rows.h"
#include "sweep/text_escape.h"
#include "tests/sweep_support.h"

namespace impactsim::cli {
namespace {

using namespace testing;
using Json = nlohmann::json;

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
    if (!names.empty()) names += ',';
    names += column["name"].get<std::string>();
    EXPECT_FALSE(column["meaning"].get<std::string>().empty());
  }
  EXPECT_EQ(names + "\n", CsvHeader(false));
  EXPECT_EQ(meta["sweep_identity"].get<std::string>().size(), 16u);
  // The scheme follows the identity it describes.
  const std::string text = Slurp(In("s.csv.meta.json"));
  const std::size_t identity = text.find("\"sweep_identity\"");
  EXPECT_EQ(text.find("\"identity_scheme\": 2,"), text.find('\n', identity) + 3) << text;
}

// A sweep cut short anywhere (mid-header, between rows, mid-row) and resumed
// gives the file of an uninterrupted sweep, and the description keeps all
// it said of the sweep.
TEST_F(SweepTest, ResumeCompletesAFileCutAnywhere) {
  for (const char* format : {"csv", "jsonl"}) {
    const Args args = {"sweep",   "--program",      "kestane", "--rounds", "3",   "--seeds",
                       "100-111", "--initial-dist", "0.2",     "--format", format};
    const std::string whole = std::string("whole.") + format;
    const std::string part = std::string("part.") + format;
    ASSERT_EQ(Invoke(Concat(args, {"--out", In(whole)})).status, kExitOk);
    const std::string full = Slurp(In(whole));
    CutShort(In(whole));
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
      // same sweep; any other keeps its description, which gains a session.
      Json resumedMeta = Json::parse(Slurp(In(part + ".meta.json")));
      Json original = Json::parse(meta);
      EXPECT_EQ(resumedMeta["sweep_identity"], original["sweep_identity"]);
      EXPECT_EQ(resumedMeta["sessions"].size(), cut > 0 ? 2u : 1u);
      if (cut > 0) {
        EXPECT_EQ(resumedMeta["started"], original["started"]);
        for (const char* key :
             {"finished", "rows_written", "complete", "rows_sha256", "sessions"}) {
          resumedMeta.erase(key);
          original.erase(key);
        }
        EXPECT_EQ(resumedMeta, original);
      }
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
  CutShort(In("s.csv"));
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

}  // namespace
}  // namespace impactsim::cli
