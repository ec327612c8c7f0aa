// The provenance a sweep's description keeps: the build, the machine and the
// times of every session, the rows the file holds and, once complete, their
// SHA-256; kept across --resume and left off when a write fails.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/utsname.h>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/report.h"
#include "sweep/sweep_command_line.h"
#include "sweep/sweep_writer.h"
#include "sweep/text_escape.h"
#include "tests/sweep_support.h"

namespace impactsim::cli {
namespace {

using namespace testing;
using Json = nlohmann::ordered_json;

// The first word sha256sum prints for the file.
std::string Sha256Sum(const std::string& path) {
  std::FILE* pipe = ::popen(("sha256sum '" + path + "'").c_str(), "r");
  if (pipe == nullptr) return "";
  char text[65] = {};
  const std::size_t n = std::fread(text, 1, 64, pipe);
  ::pclose(pipe);
  return std::string(text, n);
}

// Seconds since the epoch of "YYYY-MM-DDTHH:MM:SSZ", or -1 for other text.
long long IsoSeconds(const Json& value) {
  if (!value.is_string()) return -1;
  const std::string text = value.get<std::string>();
  const std::string pattern = "dddd-dd-ddTdd:dd:ddZ";  // d: a decimal digit
  if (text.size() != pattern.size()) return -1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (pattern[i] == 'd' ? !digit : text[i] != pattern[i]) return -1;
  }
  std::tm utc{};
  if (::strptime(text.c_str(), "%Y-%m-%dT%H:%M:%SZ", &utc) == nullptr) return -1;
  return static_cast<long long>(::timegm(&utc));
}

Json Meta(const std::string& rowsPath) {
  return Json::parse(Slurp(rowsPath + ".meta.json"));
}

// Checks one session's build, machine, command line and times.
void ExpectSaneSession(const Json& session, const Args& commandLine) {
  const std::string commit = session["commit"].get<std::string>();
  EXPECT_TRUE(
      commit == "unknown" ||
      (commit.size() == 40 && commit.find_first_not_of("0123456789abcdef") == std::string::npos))
      << session;
  ASSERT_TRUE(session["commit_modified"].is_boolean()) << session;
  if (session["commit"] == "unknown") {
    EXPECT_FALSE(session["commit_modified"].get<bool>());
  }
  // An id, then a version: "GNU 12.2.0".
  const std::string compiler = session["compiler"].get<std::string>();
  const std::size_t blank = compiler.find(' ');
  EXPECT_TRUE(blank != std::string::npos && blank + 1 < compiler.size() &&
              compiler[blank + 1] >= '0' && compiler[blank + 1] <= '9')
      << session;
  // The floating-point options that make a seed's run repeatable.
  EXPECT_NE(session["flags"].get<std::string>().find("-ffp-contract=off"), std::string::npos);
  EXPECT_FALSE(session["build_type"].get<std::string>().empty());
  struct utsname names {};
  ASSERT_EQ(::uname(&names), 0);
  EXPECT_EQ(session["arch"], names.machine);
  EXPECT_EQ(session["os"].get<std::string>().rfind(names.sysname, 0), 0u) << session;
  EXPECT_FALSE(session["host"].get<std::string>().empty());
  EXPECT_EQ(session["command_line"], Json(Concat({"impactsim"}, commandLine)));
  const long long now = static_cast<long long>(std::time(nullptr));
  const long long started = IsoSeconds(session["started"]);
  const long long finished = IsoSeconds(session["finished"]);
  EXPECT_GE(started, now - 600) << session;
  EXPECT_LE(started, finished) << session;
  EXPECT_LE(finished, now + 1) << session;
}

struct Provenance {
  std::string name;
  Args args;
  std::uint64_t rows;
};

class SweepProvenanceTest : public SweepTest, public ::testing::WithParamInterface<Provenance> {};

TEST_P(SweepProvenanceTest, ACompleteSweepRecordsItsBuildTimesRowsAndDigest) {
  const Provenance& p = GetParam();
  const Args args = Concat(p.args, {"--out", In("s")});
  const Outcome r = Invoke(args);
  ASSERT_EQ(r.status, kExitOk) << r.err;
  const Json meta = Meta(In("s"));
  ASSERT_EQ(meta["sessions"].size(), 1u) << meta;
  const Json& session = meta["sessions"][0];
  ExpectSaneSession(session, args);
  EXPECT_EQ(session["status"], "complete");
  EXPECT_EQ(session["rows_added"], p.rows);
  EXPECT_EQ(meta["started"], session["started"]);
  EXPECT_EQ(meta["finished"], session["finished"]);
  EXPECT_EQ(meta["rows_written"], p.rows);
  EXPECT_EQ(meta["complete"], true);
  const std::string sha = Sha256Sum(In("s"));
  ASSERT_EQ(sha.size(), 64u);
  EXPECT_EQ(meta["rows_sha256"], sha);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SweepProvenanceTest,
    ::testing::Values(
        Provenance{"csv", {"sweep", "--program", "kestane", "--rounds", "1", "--seeds", "1-4"}, 4},
        Provenance{"jsonl_shard",
                   {"sweep", "--program", "kestane", "--rounds", "1", "--seeds", "1-5", "--format",
                    "jsonl", "--shard", "1/2"},
                   2},
        Provenance{"no_rows", {"sweep", "--seeds", "1-3", "--shard", "5/9"}, 0}),
    [](const auto& row) { return row.param.name; });

// A resumed sweep keeps the first start and every earlier session, and
// records its own; the description says the same of the sweep as before.
TEST_F(SweepTest, ResumeKeepsTheFirstStartAndAddsASession) {
  const Args args = {"sweep",   "--program", "kestane", "--rounds", "1",
                     "--seeds", "1-6",       "--out",   In("s.csv")};
  ASSERT_EQ(Invoke(args).status, kExitOk);
  const std::string whole = Slurp(In("s.csv"));
  Json first = Meta(In("s.csv"));
  // An earlier start, so that keeping it is not a coincidence of the clock.
  first["started"] = "2001-02-03T04:05:06Z";
  first["sessions"][0]["started"] = "2001-02-03T04:05:06Z";
  // As a session killed midway leaves it: its end never recorded.
  first.erase("rows_sha256");
  first["complete"] = false;
  first["finished"] = nullptr;
  first["rows_written"] = 0;
  Json& killed = first["sessions"][0];
  killed["finished"] = nullptr;
  killed["rows_added"] = 0;
  killed["status"] = "running";
  Spit(In("s.csv.meta.json"), first.dump(2) + '\n');
  const std::vector<std::string> lines = Lines(whole);
  Spit(In("s.csv"), lines[0] + '\n' + lines[1] + '\n' + lines[2] + '\n' + lines[3].substr(0, 9));

  const Args resume = Concat(args, {"--resume", "--jobs", "2"});
  const Outcome r = Invoke(resume);
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(Slurp(In("s.csv")), whole);
  Json meta = Meta(In("s.csv"));
  EXPECT_EQ(meta["started"], "2001-02-03T04:05:06Z");
  ASSERT_EQ(meta["sessions"].size(), 2u) << meta;
  // The killed session is credited with the rows it wrote that were kept.
  killed["rows_added"] = 2;
  EXPECT_EQ(meta["sessions"][0], killed);
  const Json& second = meta["sessions"][1];
  ExpectSaneSession(second, resume);
  EXPECT_EQ(second["rows_added"], 4);
  EXPECT_EQ(second["status"], "complete");
  EXPECT_EQ(meta["finished"], second["finished"]);
  EXPECT_EQ(meta["rows_written"], 6);
  EXPECT_EQ(meta["rows_sha256"], Sha256Sum(In("s.csv")));
  // Every field that describes the sweep, its identity first, is untouched.
  for (const char* key :
       {"started", "finished", "rows_written", "complete", "rows_sha256", "sessions"}) {
    meta.erase(key);
    first.erase(key);
  }
  EXPECT_EQ(meta, first);
}

// Stops a sweep at its first report of progress, as a front end stopped by
// the user does.
class StopAtOnce final : public SweepListener {
 public:
  void Progress(std::uint64_t) override { throw std::runtime_error("stopped"); }
  void Failed(const Problem&) override {}
};

// A resume of a complete file that is stopped keeps its digests: the
// description never loses them while the file stays as they describe it.
TEST_F(SweepTest, AStoppedResumeOfACompleteFileKeepsItsDigests) {
  const Args args = {"sweep", "--program", "kestane", "--rounds", "1",    "--seeds",
                     "1-3",   "--out",     In("s"),   "--series", In("r")};
  ASSERT_EQ(Invoke(args).status, kExitOk);
  const Json before = Meta(In("s"));
  const Args resume = Concat(args, {"--resume"});
  StopAtOnce stop;
  EXPECT_THROW(WriteSweep(ParseSweepCommandLine(resume), {resume, ""}, nullptr, stop),
               std::runtime_error);
  const Json after = Meta(In("s"));
  ASSERT_EQ(after["sessions"].size(), 2u) << after;
  EXPECT_EQ(after["sessions"][1]["status"], "failed");
  EXPECT_EQ(after["complete"], true);
  EXPECT_EQ(after["rows_sha256"], before["rows_sha256"]);
  EXPECT_EQ(after["series_sha256"], before["series_sha256"]);
}

// The size of the description a session of `args` writes when it starts,
// for the rows file `rows`: that of a complete session of the same sweep to
// a file of a name as long, with the fields of a session just begun.
std::size_t StartingDescriptionSize(const Args& args, const std::string& rows) {
  const std::string other = rows.substr(0, rows.size() - 1) + '~';
  const Outcome done = Invoke(Concat(args, {"--out", other}));
  EXPECT_EQ(done.status, kExitOk) << done.err;
  Json meta = Meta(other);
  meta.erase("rows_sha256");
  meta["finished"] = nullptr;
  meta["rows_written"] = 0;
  meta["complete"] = false;
  Json& session = meta["sessions"][0];
  session["finished"] = nullptr;
  session["rows_added"] = 0;
  session["status"] = "running";
  fs::remove(other);
  fs::remove(other + ".meta.json");
  return meta.dump(2).size() + 1;
}

struct FailedWrite {
  std::string name;
  // The largest file the sweep may write, given the size of the description
  // it starts with.
  rlim_t (*limit)(std::size_t startingDescription);
  bool descriptionRewritten;  // false: the rewrite fails too
};

void PrintTo(const FailedWrite& w, std::ostream* os) {
  *os << w.name;
}

class SweepFailedWriteTest : public SweepTest, public ::testing::WithParamInterface<FailedWrite> {};

// A write that fails ends the session as failed: its finish and the rows the
// file holds are recorded, and no digest, since the sweep is not complete.
// Where the description cannot be rewritten either (a full disk), the
// session it started with is marked failed in place, and still no digest.
TEST_P(SweepFailedWriteTest, AFailedWriteIsRecordedWithoutADigest) {
  const FailedWrite& w = GetParam();
  const Args args = {"sweep",   "--program", "kestane", "--rounds", "1",
                     "--seeds", "1-300",     "--jobs",  "1"};
  const rlim_t limit = w.limit(StartingDescriptionSize(args, In("s.csv")));
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = limit;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const Outcome r = Invoke(Concat(args, {"--out", In("s.csv")}));
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(r.status, kExitFailed);
  EXPECT_TRUE(r.err.starts_with("impactsim: --out: writing " + Quoted(In("s.csv")) + " failed"))
      << r.err;
  const std::string rows = Slurp(In("s.csv"));
  ASSERT_GT(rows.size(), 1000u);
  ASSERT_LE(rows.size(), limit);
  const Json meta = Meta(In("s.csv"));
  EXPECT_EQ(meta["complete"], false);
  EXPECT_FALSE(meta.contains("rows_sha256")) << meta;
  EXPECT_EQ(meta["sessions"][0]["status"], "failed");
  if (w.descriptionRewritten) {
    const std::uint64_t complete = Lines(rows).size() - 1 - (rows.back() == '\n' ? 0 : 1);
    EXPECT_EQ(meta["rows_written"], complete);
    EXPECT_GE(IsoSeconds(meta["finished"]), IsoSeconds(meta["started"]));
  } else {
    EXPECT_NE(r.err.find("impactsim: --out: writing " + Quoted(In("s.csv.meta.json")) + " failed"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(meta["finished"], nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, SweepFailedWriteTest,
                         ::testing::Values(
                             // The description fits, 300 rows do not.
                             FailedWrite{"rows", [](std::size_t) -> rlim_t { return 8000; }, true},
                             // Only the description the session started with fits.
                             FailedWrite{"rows_and_description",
                                         [](std::size_t start) -> rlim_t { return start + 4; },
                                         false}),
                         [](const auto& row) { return row.param.name; });

}  // namespace
}  // namespace impactsim::cli
