// "impactsim verify": a sweep file verifies whole, sampled or by task, also
// after it was moved; any changed byte is found, by the row of its task or by
// the recorded digest; and bad input is refused with one line.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/report.h"
#include "sweep/readable_file.h"
#include "sweep/sweep_command_line.h"
#include "sweep/sweep_description.h"
#include "sweep/sweep_provenance.h"
#include "sweep/text_escape.h"
#include "tests/sweep_support.h"

namespace impactsim::cli {
namespace {

using namespace testing;
using Json = nlohmann::ordered_json;

// Six kestane runs of one round, the file's rows for tasks 0..5.
const Args kSweep = {"sweep", "--program", "kestane", "--rounds", "1", "--seeds", "1-6"};

class VerifyTest : public SweepTest {
 protected:
  // Writes the sweep to `name` with the extra options; returns its rows.
  std::string Make(const std::string& name, const Args& extra = {}) {
    const Outcome r = Invoke(Concat(Concat(kSweep, extra), {"--out", In(name)}));
    EXPECT_EQ(r.status, kExitOk) << r.err;
    return Slurp(In(name));
  }
  Outcome Verify(const std::string& name, const Args& extra = {}) {
    return Invoke(Concat({"verify", In(name)}, extra));
  }
  // Changes the description as `change` says.
  template <typename Change>
  void EditMeta(const std::string& name, Change change) {
    Json meta = Json::parse(Slurp(In(name + ".meta.json")));
    change(meta);
    Spit(In(name + ".meta.json"), meta.dump(2) + '\n');
  }
};

struct Agreeing {
  std::string name;
  Args sweep;   // options of the sweep besides kSweep
  Args verify;  // options of verify
  std::string summary;
};

class VerifyAgreesTest : public VerifyTest, public ::testing::WithParamInterface<Agreeing> {};

TEST_P(VerifyAgreesTest, AFileAsTheSweepWroteItAgrees) {
  const Agreeing& a = GetParam();
  Make("s", a.sweep);
  const Outcome r = Verify("s", a.verify);
  EXPECT_EQ(r.status, kExitOk) << r.out << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "agrees: " + a.summary + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Table, VerifyAgreesTest,
    ::testing::Values(
        Agreeing{"csv_all",
                 {},
                 {},
                 "checked 6 rows of 6, all agree; the file holds 6 of the shard's 6 tasks; "
                 "rows_sha256 agrees"},
        Agreeing{"jsonl_all_threads",
                 {"--format", "jsonl"},
                 {"--jobs", "3"},
                 "checked 6 rows of 6, all agree; the file holds 6 of the shard's 6 tasks; "
                 "rows_sha256 agrees"},
        Agreeing{"sample",
                 {},
                 {"--sample", "2"},
                 "checked 2 rows of 6, all agree; the file holds 6 of the shard's 6 tasks; "
                 "rows_sha256 agrees"},
        Agreeing{"sample_more_than_rows",
                 {},
                 {"--sample", "100"},
                 "checked 6 rows of 6, all agree; the file holds 6 of the shard's 6 tasks; "
                 "rows_sha256 agrees"},
        Agreeing{"tasks",
                 {"--format", "jsonl"},
                 {"--tasks", "4,0-1"},
                 "checked 3 rows of 6, all agree; the file holds 6 of the shard's 6 tasks; "
                 "rows_sha256 agrees"},
        Agreeing{"tasks_of_a_shard",
                 {"--shard", "1/3"},
                 {"--tasks", "4,1"},
                 "checked 2 rows of 2, all agree; the file holds 2 of the shard's 2 tasks; "
                 "rows_sha256 agrees"},
        Agreeing{"three_opinions",
                 {"--opinions", "3", "--initial-shares", "0.5:0.3:0.2"},
                 {},
                 "checked 6 rows of 6, all agree; the file holds 6 of the shard's 6 tasks; "
                 "rows_sha256 agrees"},
        Agreeing{"sixteen_opinions_jsonl",
                 {"--opinions", "2,16", "--format", "jsonl"},
                 {},
                 "checked 12 rows of 12, all agree; the file holds 12 of the shard's 12 tasks; "
                 "rows_sha256 agrees"},
        // A sweep given as "one command both starts and continues it".
        Agreeing{"recorded_with_resume_and_equals",
                 {"--resume", "--quiet"},
                 {"--quiet"},
                 "checked 6 rows of 6, all agree; the file holds 6 of the shard's 6 tasks; "
                 "rows_sha256 agrees"}),
    [](const auto& row) { return row.param.name; });

// A file moved away from the path its description records verifies where it is.
TEST_F(VerifyTest, AMovedFileVerifiesWhereItIs) {
  Make("s.csv");
  fs::create_directory(In("moved"));
  fs::rename(In("s.csv"), In("moved/t.csv"));
  fs::rename(In("s.csv.meta.json"), In("moved/t.csv.meta.json"));
  const Outcome r = Verify("moved/t.csv");
  EXPECT_EQ(r.status, kExitOk) << r.out << r.err;
}

// A file a sweep holds is not verified halfway through its writes.
TEST_F(VerifyTest, AFileBeingWrittenIsNotVerified) {
  Make("s.csv");
  const int fd = ::open(In("s.csv").c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  const Outcome r = Verify("s.csv");
  ::close(fd);
  EXPECT_EQ(r.status, kExitUsage);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "impactsim: FILE: " + Quoted(In("s.csv")) +
                       " is being written by a sweep; verify it once the sweep has ended\n");
}

// A description of an earlier version, without identity scheme or
// provenance, is known by the identity of its whole task list.
TEST_F(VerifyTest, AnEarlierVersionsDescriptionIsKnownByItsTaskList) {
  Make("s.csv");
  const SweepRequest sweep = ParseSweepCommandLine(Concat(kSweep, {"--out", In("s.csv")}));
  const std::string identity = TaskListIdentity(sweep.Plan, RowFormat::Csv, sweep.Part);
  EditMeta("s.csv", [&identity](Json& meta) {
    for (const char* key : {"identity_scheme", "started", "finished", "rows_written", "complete",
                            "rows_sha256", "sessions"}) {
      meta.erase(key);
    }
    meta["sweep_identity"] = identity;
  });
  const Outcome r = Verify("s.csv");
  EXPECT_EQ(r.status, kExitOk) << r.out << r.err;
  EXPECT_EQ(r.out,
            "agrees: checked 6 rows of 6, all agree; the file holds 6 of the shard's 6 tasks; "
            "no rows_sha256 recorded\n");
}

// An unfinished sweep has no digest; the rows it has agree.
TEST_F(VerifyTest, AnUnfinishedSweepVerifiesTheRowsItHas) {
  const std::vector<std::string> lines = Lines(Make("s.csv"));
  Spit(In("s.csv"), lines[0] + '\n' + lines[1] + '\n' + lines[2] + '\n');
  EditMeta("s.csv", [](Json& meta) { meta.erase("rows_sha256"); });
  const Outcome r = Verify("s.csv");
  EXPECT_EQ(r.status, kExitOk) << r.out << r.err;
  EXPECT_EQ(r.out,
            "agrees: checked 2 rows of 2, all agree; the file holds 2 of the shard's 6 tasks; "
            "no rows_sha256 recorded\n");
}

// A sweep with --series: both files verify, also moved together to another
// directory; a changed round is found by its task and by the digest, and a
// missing series file is bad input.
TEST_F(VerifyTest, TheSeriesIsVerifiedWithTheRows) {
  for (const char* format : {"csv", "jsonl"}) {
    SCOPED_TRACE(format);
    fs::remove_all(In("d"));
    fs::create_directory(In("d"));
    Make("d/s", {"--format", format, "--series", In("d/r")});
    const Outcome good = Verify("d/s", {"--jobs", "2"});
    EXPECT_EQ(good.status, kExitOk) << good.out << good.err;
    EXPECT_EQ(good.out,
              "agrees: checked 6 rows of 6, all agree; the file holds 6 of the shard's 6 tasks; "
              "rows_sha256 agrees, series_sha256 agrees\n");
    fs::rename(In("d"), In("moved"));
    const Outcome moved = Verify("moved/s");
    EXPECT_EQ(moved.status, kExitOk) << moved.out << moved.err;

    // Round 1 of task 4 with one change more.
    std::string rounds = Slurp(In("moved/r"));
    const std::string key =
        std::string(format) == "csv" ? "\n4,1," : "{\"task\":4,\"round\":1,\"changes\":";
    const std::size_t at = rounds.find(key) + key.size();
    rounds.insert(rounds.begin() + static_cast<std::ptrdiff_t>(at), '1');
    Spit(In("moved/r"), rounds);
    const Outcome changed = Verify("moved/s", {"--tasks", "3-5"});
    EXPECT_EQ(changed.status, kExitFailed) << changed.out << changed.err;
    const std::vector<std::string> lines = Lines(changed.out);
    ASSERT_EQ(lines.size(), 3u) << changed.out;
    // Task 4's two rounds are lines 10..11 after the CSV header, 9..10 in JSON.
    const bool csv = std::string(format) == "csv";
    EXPECT_EQ(lines[0], std::string("task 4: series: lines ") + (csv ? "10..11" : "9..10") +
                            " are not the rounds the run gives (2 lines)");
    EXPECT_TRUE(lines[1].starts_with("series_sha256: ")) << lines[1];
    EXPECT_TRUE(lines[2].starts_with("differs: checked 3 rows of 6, 1 differs")) << lines[2];

    // Task 4's last round gone: its one line left is found short.
    const std::size_t start = rounds.rfind('\n', at) + 1;
    rounds.erase(start, rounds.find('\n', at) + 1 - start);
    Spit(In("moved/r"), rounds);
    const Outcome shorter = Verify("moved/s", {"--tasks", "4"});
    EXPECT_EQ(Lines(shorter.out).at(0), std::string("task 4: series: lines ") +
                                            (csv ? "10..10" : "9..9") +
                                            " are not the rounds the run gives (2 lines)");

    fs::remove(In("moved/r"));
    const Outcome missing = Verify("moved/s");
    EXPECT_EQ(missing.status, kExitUsage);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("cannot read the series"), std::string::npos) << missing.err;
    fs::remove_all(In("moved"));
  }
}

// The series a description names is another file (here a link to it): its
// digest is neither shown nor compared, even when the description records
// it, so that verify tells nothing of a file that is not the sweep's.
TEST_F(VerifyTest, NothingIsToldOfAFileTheDescriptionNamesThatIsNotTheSeries) {
  Spit(In("secret"), "root:$6$salt$hash:19000:0:99999:7:::\n");
  std::string reason;
  const std::optional<RowsFileScan> secret = ScanRowsFile(In("secret"), reason);
  ASSERT_TRUE(secret) << reason;
  for (const std::string format : {"csv", "jsonl"}) {
    SCOPED_TRACE(format);
    const std::string rows = "s." + format, series = "r." + format;
    Make(rows, {"--format", format, "--series", In(series)});
    fs::remove(In(series));
    fs::create_symlink(In("secret"), In(series));
    EditMeta(rows, [&secret](Json& meta) { meta["series_sha256"] = secret->Sha256; });
    const Outcome r = Verify(rows, {"--tasks", "0"});
    EXPECT_EQ(r.status, kExitFailed) << r.out << r.err;
    EXPECT_EQ(r.out.find("series_sha256"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(secret->Sha256.substr(0, 16)), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("series: " + Quoted(In(series)) + " is not the series of a sweep"),
              std::string::npos)
        << r.out;
  }
}

// One change to a file; what verify must report, line by line, with status 1.
struct Tampering {
  std::string name;
  std::string format;
  bool keepDigest;  // false: the description's digest is dropped first
  Args verify;
  // Changes the file's text.
  std::string (*change)(const std::string& text);
  std::vector<std::string> found;  // the lines before the summary, each a prefix
  std::string summary;             // a prefix of the summary
};

std::string ReplaceFirst(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

// The start of the line of `line` (1-based).
std::size_t LineStart(const std::string& text, std::size_t line) {
  std::size_t at = 0;
  for (std::size_t i = 1; i < line; ++i) at = text.find('\n', at) + 1;
  return at;
}

class VerifyFindsTest : public VerifyTest, public ::testing::WithParamInterface<Tampering> {};

TEST_P(VerifyFindsTest, AChangedFileIsFound) {
  const Tampering& t = GetParam();
  const std::string text = Make("s", {"--format", t.format});
  if (!t.keepDigest) EditMeta("s", [](Json& meta) { meta.erase("rows_sha256"); });
  Spit(In("s"), t.change(text));
  const Outcome r = Verify("s", t.verify);
  EXPECT_EQ(r.status, kExitFailed) << r.out << r.err;
  EXPECT_EQ(r.err, "");
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), t.found.size() + 1) << r.out;
  for (std::size_t i = 0; i < t.found.size(); ++i) {
    EXPECT_EQ(lines[i].rfind(t.found[i], 0), 0u) << lines[i];
  }
  EXPECT_EQ(lines.back().rfind("differs: " + t.summary, 0), 0u) << lines.back();
}

INSTANTIATE_TEST_SUITE_P(
    Table, VerifyFindsTest,
    ::testing::Values(
        // Row 3 (task 2) with another like-neighbours share: line 4 of CSV.
        Tampering{"csv_result",
                  "csv",
                  false,
                  {},
                  [](const std::string& s) {
                    const std::size_t at = LineStart(s, 4);
                    return s.substr(0, at) + ReplaceFirst(s.substr(at), "0.9", "0.8");
                  },
                  {"task 2: rows: line 4 is '"},
                  "checked 6 rows of 6, 1 differs"},
        Tampering{"jsonl_result",
                  "jsonl",
                  false,
                  {"--jobs", "2"},
                  [](const std::string& s) {
                    const std::size_t at = LineStart(s, 6);
                    return s.substr(0, at) + ReplaceFirst(s.substr(at), "\"seed\":6", "\"seed\":7");
                  },
                  {"task 5: rows: line 6 is '{\"task\":5,"},
                  "checked 6 rows of 6, 1 differs"},
        // Rows of tasks 1 and 2 swapped.
        Tampering{"rows_swapped",
                  "csv",
                  false,
                  {},
                  [](const std::string& s) {
                    const std::size_t a = LineStart(s, 3), b = LineStart(s, 4), c = LineStart(s, 5);
                    return s.substr(0, a) + s.substr(b, c - b) + s.substr(a, b - a) + s.substr(c);
                  },
                  {"task 1: rows: line 3", "task 2: rows: line 4"},
                  "checked 6 rows of 6, 2 differ"},
        Tampering{"header",
                  "csv",
                  false,
                  {},
                  [](const std::string& s) { return ReplaceFirst(s, "task,", "Task,"); },
                  {"header: line 1 of '"},
                  "checked 6 rows of 6, all agree"},
        // An unchecked row changed after completion: only the digest tells.
        Tampering{"digest_only",
                  "csv",
                  true,
                  {"--tasks", "0"},
                  [](const std::string& s) {
                    const std::size_t at = LineStart(s, 5);
                    return s.substr(0, at) + ReplaceFirst(s.substr(at), ",0.", ",1.");
                  },
                  {"rows_sha256: '"},
                  "checked 1 row of 6, all agree; the file holds 6 of the shard's 6 tasks; "
                  "rows_sha256 differs"},
        // The last row lost whole: every row left agrees, the digest does not.
        Tampering{"last_row_lost",
                  "jsonl",
                  true,
                  {},
                  [](const std::string& s) { return s.substr(0, LineStart(s, 6)); },
                  {"rows_sha256: '"},
                  "checked 5 rows of 5, all agree; the file holds 5 of the shard's 6 tasks"},
        Tampering{"torn_last_line",
                  "csv",
                  false,
                  {},
                  [](const std::string& s) { return s.substr(0, s.size() - 5); },
                  {"line 7: unfinished"},
                  "checked 5 rows of 5, all agree"},
        // No line longer than the bound is read: the rest of the file
        // cannot be read either.
        Tampering{"line_longer_than_the_bound",
                  "csv",
                  false,
                  {},
                  [](const std::string& s) {
                    return s.substr(0, LineStart(s, 4)) + std::string(kLineLimit + 1, 'x') +
                           s.substr(LineStart(s, 5) - 1);
                  },
                  {"task 2: rows: line 4 cannot be read", "task 3: rows: line 5 cannot be read",
                   "task 4: rows: line 6 cannot be read", "task 5: rows: line 7 cannot be read"},
                  "checked 6 rows of 6, 4 differ"},
        Tampering{"line_past_the_last_task",
                  "jsonl",
                  false,
                  {},
                  [](const std::string& s) { return s + s.substr(LineStart(s, 6)); },
                  {"lines 7..7: past the last of the shard's 6 tasks"},
                  "checked 6 rows of 7, all agree"}),
    [](const auto& row) { return row.param.name; });

// Bad input: status 2, nothing on stdout, one line on stderr.
struct Refusal {
  std::string name;
  Args args;          // after "verify"; "@x" is the scratch file x
  std::string error;  // the line after "impactsim: ", or its start when ending in "..."
  void (*prepare)(const std::string& dir) = nullptr;
};

class VerifyRefusesTest : public VerifyTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(VerifyRefusesTest, BadInputIsOneLineAndStatusTwo) {
  const Refusal& f = GetParam();
  Make("s");
  fs::create_directory(In("dir"));
  if (f.prepare != nullptr) f.prepare(dir_.string());
  Args args = {"verify"};
  for (const std::string& a : f.args) args.push_back(a.starts_with("@") ? In(a.substr(1)) : a);
  std::string expected = f.error;
  for (std::size_t at = expected.find('@'); at != std::string::npos; at = expected.find('@')) {
    const std::size_t end = expected.find('\'', at);
    expected.replace(at, end - at, In(expected.substr(at + 1, end - at - 1)));
  }
  const Outcome r = Invoke(args);
  EXPECT_EQ(r.status, kExitUsage) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  if (expected.ends_with("...")) {
    expected.resize(expected.size() - 3);
    EXPECT_EQ(r.err.rfind("impactsim: " + expected, 0), 0u) << r.err;
  } else {
    EXPECT_EQ(r.err, "impactsim: " + expected + "\n");
  }
}

void WriteMeta(const std::string& dir, const std::string& text) {
  Spit(fs::path(dir) / "s.meta.json", text);
}
void EditRecorded(const std::string& dir, void (*change)(Json&)) {
  Json meta = Json::parse(Slurp(fs::path(dir) / "s.meta.json"));
  change(meta);
  WriteMeta(dir, meta.dump());
}

INSTANTIATE_TEST_SUITE_P(
    Table, VerifyRefusesTest,
    ::testing::Values(
        Refusal{"no_file", {}, "FILE: required: the --out file of a sweep"},
        Refusal{"two_files", {"@s", "@s"}, "FILE: given more than once"},
        Refusal{"missing_file", {"@none"}, "FILE: cannot read '@none': No such file or directory"},
        Refusal{"directory",
                {"@dir"},
                "FILE: expects the rows file of a sweep, got '@dir', a directory"},
        Refusal{"missing_description",
                {"@s"},
                "FILE: cannot read '@s.meta.json', the description of '@s': No such file or "
                "directory",
                [](const std::string& dir) { fs::remove(fs::path(dir) / "s.meta.json"); }},
        // A description padded past the bound is refused unread.
        Refusal{"description_too_large",
                {"@s"},
                "FILE: cannot read '@s.meta.json', the description of '@s': larger than 16 MiB",
                [](const std::string& dir) {
                  const std::string meta = Slurp(fs::path(dir) / "s.meta.json");
                  WriteMeta(dir, meta + std::string(kDescriptionLimit, ' '));
                }},
        // Deep nesting would take memory out of all proportion to the size.
        Refusal{"description_nested_too_deep",
                {"@s"},
                "FILE: cannot read '@s.meta.json', the description of '@s': JSON nested more "
                "than 64 deep",
                [](const std::string& dir) { WriteMeta(dir, std::string(65, '[')); }},
        Refusal{"description_not_json",
                {"@s"},
                "FILE: '@s.meta.json' does not describe a sweep",
                [](const std::string& dir) { WriteMeta(dir, "{\"sweep_identity\":"); }},
        Refusal{"description_of_a_run",
                {"@s"},
                "FILE: '@s.meta.json' does not describe a sweep",
                [](const std::string& dir) {
                  EditRecorded(dir, [](Json& m) { m["command_line"][1] = "run"; });
                }},
        Refusal{"recorded_sweep_refused",
                {"@s"},
                "FILE: '@s.meta.json' records a sweep impactsim refuses: --seeds: ...",
                [](const std::string& dir) {
                  EditRecorded(dir, [](Json& m) { m["command_line"][7] = "6-1"; });
                }},
        // Command lines the sweep itself refuses, in its own words.
        Refusal{"recorded_help",
                {"@s"},
                "FILE: '@s.meta.json' records a sweep impactsim refuses: --help: shows the "
                "options of impactsim sweep, runs no sweep",
                [](const std::string& dir) {
                  EditRecorded(dir, [](Json& m) { m["command_line"].push_back("-h"); });
                }},
        Refusal{"recorded_out_without_a_name",
                {"@s"},
                "FILE: '@s.meta.json' records a sweep impactsim refuses: --out: given more than "
                "once",
                [](const std::string& dir) {
                  EditRecorded(dir, [](Json& m) { m["command_line"][9] = "--out"; });
                }},
        Refusal{"recorded_series_is_the_rows",
                {"@s"},
                "FILE: '@s.meta.json' records a sweep impactsim refuses: --series: '@s' is the "
                "same file as '@s'",
                [](const std::string& dir) {
                  EditRecorded(dir, [](Json& m) {
                    const Json out = m["command_line"][9];
                    m["command_line"].push_back("--series");
                    m["command_line"].push_back(out);
                    m["series"] = {
                        {"file", out},
                        {"identity", SeriesIdentity(m["sweep_identity"], RowFormat::Csv)}};
                  });
                }},
        // Descriptions that contradict their own command line.
        Refusal{"format_contradicted",
                {"@s"},
                "FILE: '@s.meta.json' records format \"jsonl\" for a sweep whose command line "
                "gives \"csv\"",
                [](const std::string& dir) {
                  EditRecorded(dir, [](Json& m) { m["format"] = "jsonl"; });
                }},
        Refusal{"series_not_written",
                {"@s"},
                "FILE: '@s.meta.json' names a series its command line does not write (see "
                "\"series\")",
                [](const std::string& dir) {
                  EditRecorded(dir, [](Json& m) {
                    m["series"] = {
                        {"file", "r"},
                        {"identity", SeriesIdentity(m["sweep_identity"], RowFormat::Csv)}};
                  });
                }},
        Refusal{"identity_edited",
                {"@s"},
                "FILE: '@s.meta.json' records an identity its command line does not give",
                [](const std::string& dir) {
                  EditRecorded(dir, [](Json& m) { m["sweep_identity"] = "0123456789abcdef"; });
                }},
        Refusal{"task_not_in_file",
                {"@s", "--tasks", "2,6"},
                "--tasks: task 6 is not a row of '@s', which holds the rows of tasks 0..5"},
        Refusal{"task_twice",
                {"@s", "--tasks", "1-3,3"},
                "--tasks: expects each task once, got 3 again"},
        Refusal{"tasks_backwards",
                {"@s", "--tasks", "3-1"},
                "--tasks: expects a range A-B with A <= B, got '3-1'"},
        Refusal{"tasks_malformed",
                {"@s", "--tasks", "1,x"},
                "--tasks: expects task numbers as a range A-B or ..."},
        Refusal{"sample_zero",
                {"@s", "--sample", "0"},
                "--sample: expects an integer 1..18446744073709551615, got '0'"},
        Refusal{"sample_malformed",
                {"@s", "--sample", "-3"},
                "--sample: expects an integer 1..18446744073709551615, got '-3'"},
        Refusal{"sample_and_tasks",
                {"@s", "--sample", "2", "--tasks", "1"},
                "--tasks: cannot be combined with --sample"},
        Refusal{"sample_twice",
                {"@s", "--sample", "2", "--sample", "3"},
                "--sample: given more than once"},
        Refusal{"jobs_zero", {"@s", "--jobs", "0"}, "--jobs: expects an integer 1..1024, got '0'"},
        Refusal{"unknown_option",
                {"@s", "--seeds", "1"},
                "--seeds: unknown option (see impactsim verify --help)"}),
    [](const auto& row) { return row.param.name; });

}  // namespace
}  // namespace impactsim::cli
