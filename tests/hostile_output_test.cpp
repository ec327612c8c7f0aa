// The runner's output files as a hostile user meets them: closed standard
// streams, one file under two names, devices, FIFOs and links, read-only,
// immutable and sticky-directory files, long and non-UTF-8 names, values
// that would print control characters. Each case runs the real binary in a
// scratch directory of its own, as root or as an unprivileged user, and says
// which files must come out unchanged, byte for byte and mode for mode.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/scratch_dir.h"

namespace impactsim {
namespace {

namespace fs = std::filesystem;
using impactsim::testing::Slurp;

constexpr uid_t kNobody = 65534;

// A directory of its own for each case, open to the unprivileged user.
class Scratch {
 public:
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "impactsim_hostile.XXXXXX").string();
    dir_ = ::mkdtemp(pattern.data());
    fs::permissions(dir_, fs::perms::all);
  }
  ~Scratch() {
    // Immutable or append-only files must be set free before removal.
    for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
      if (!entry.is_regular_file(ec_)) continue;
      const int fd = ::open(entry.path().c_str(), O_RDONLY | O_NONBLOCK);
      int flags = 0;
      if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && flags != 0) {
        flags &= ~(FS_IMMUTABLE_FL | FS_APPEND_FL);
        ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
      }
      if (fd >= 0) ::close(fd);
    }
    fs::remove_all(dir_, ec_);
  }
  std::string operator/(const std::string& name) const { return (dir_ / name).string(); }
  const fs::path& Dir() const { return dir_; }

  void Write(const std::string& name, const std::string& text, mode_t mode = 0644) const {
    std::ofstream(*this / name, std::ios::binary) << text;
    ::chmod((*this / name).c_str(), mode);
  }

 private:
  fs::path dir_;
  std::error_code ec_;
};

struct Result {
  int status = -1;  // exit status, or -1 when ended by a signal
  std::string out, err;
  std::string fifo;  // what a reader of the FIFO "fifo" received
};

// A file as it stands: its kind and permissions, and its content or link.
std::string Snapshot(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return "absent";
  std::string text = std::to_string(st.st_mode) + ":" + std::to_string(st.st_uid) + ":";
  if (S_ISLNK(st.st_mode)) return text + fs::read_symlink(path).string();
  if (S_ISREG(st.st_mode)) return text + Slurp(path);
  return text + std::to_string(st.st_rdev);
}

// The files of the directory whose names are those of temporary files.
std::vector<std::string> Leftovers(const fs::path& dir) {
  std::vector<std::string> left;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.path().filename().string().starts_with(".impactsim.")) {
      left.push_back(entry.path().string());
    }
  }
  return left;
}

// A copy of the runner in a directory every user may search, so that the
// unprivileged user can start it wherever the build tree lies.
class BinaryCopy {
 public:
  BinaryCopy() {
    std::string pattern = (fs::temp_directory_path() / "impactsim_hostile_bin.XXXXXX").string();
    dir_ = ::mkdtemp(pattern.data());
    fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    path_ = (dir_ / "impactsim").string();
    fs::copy_file(IMPACTSIM_BINARY, path_);
  }
  ~BinaryCopy() { fs::remove_all(dir_, ec_); }
  const std::string& Path() const { return path_; }

 private:
  fs::path dir_;
  std::string path_;
  std::error_code ec_;
};

const std::string& Binary() {
  static const BinaryCopy copy;
  return copy.Path();
}

struct Invocation {
  std::vector<std::string> args;  // "@name" names a file of the scratch directory
  int closed = -1;                // a standard stream the runner starts without
  bool asNobody = false;          // run as an unprivileged user
  bool fifoReader = false;        // read the FIFO "fifo" while the runner writes it
};

// Runs the binary in the scratch directory; its stdout and stderr go to
// files beside it, out of the directory's way. "%stdout" in an argument
// stands for the file that receives stdout.
Result Invoke(const Scratch& scratch, const Invocation& how) {
  const std::string& binary = Binary();
  const fs::path captures = scratch.Dir().string() + ".out";
  fs::create_directories(captures);
  fs::permissions(captures, fs::perms::all);
  const std::string outPath = (captures / "stdout").string();
  const std::string errPath = (captures / "stderr").string();
  std::vector<std::string> args = {binary};
  for (std::string arg : how.args) {
    if (arg.starts_with("@")) arg = scratch / arg.substr(1);
    if (arg == "%stdout") arg = outPath;
    args.push_back(arg);
  }
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  Result result;
  std::thread reader;
  if (how.fifoReader) {
    reader = std::thread([&result, path = scratch / "fifo"] { result.fifo = Slurp(path); });
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Only what is safe between fork and exec.
    if (::chdir(scratch.Dir().c_str()) != 0) ::_exit(125);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (out < 0 || err < 0) ::_exit(125);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::close(out);
    ::close(err);
    if (how.closed >= 0) ::close(how.closed);
    if (how.asNobody &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
      ::_exit(125);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (reader.joinable()) reader.join();
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = Slurp(outPath);
  result.err = Slurp(errPath);
  fs::remove_all(captures);
  return result;
}

// The census of "run --seed 1 --rounds 3", as the runner writes it with its
// standard streams open.
std::string ReferenceCensus() {
  static const std::string census = [] {
    Scratch scratch;
    Invoke(scratch, {{"run", "--seed", "1", "--rounds", "3", "--census-csv", "@c.csv"}});
    return Slurp(scratch / "c.csv");
  }();
  return census;
}

// Whether the text matches the pattern, in which '*' stands for any run of
// characters and everything else for itself.
bool Matches(std::string_view text, std::string_view pattern) {
  if (pattern.empty()) return text.empty();
  if (pattern[0] == '*') {
    for (std::size_t skip = 0; skip <= text.size(); ++skip) {
      if (Matches(text.substr(skip), pattern.substr(1))) return true;
    }
    return false;
  }
  return !text.empty() && text[0] == pattern[0] && Matches(text.substr(1), pattern.substr(1));
}

struct HostileCase {
  std::string name;
  std::function<void(const Scratch&)> prepare;
  Invocation how;
  int status;
  std::string err;                     // the whole of stderr, '*' standing for any text
  std::vector<std::string> unchanged;  // files that must come out as they were
  std::function<void(const Scratch&, const Result&)> check = nullptr;
};

void PrintTo(const HostileCase& c, std::ostream* os) {
  *os << c.name;
}

class HostileOutputTest : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileOutputTest, RunsAsPromised) {
  const HostileCase& c = GetParam();
  if ((c.how.asNobody || c.name.starts_with("root")) && ::geteuid() != 0) {
    GTEST_SKIP() << "needs root to act as root and as an unprivileged user";
  }
  Scratch scratch;
  if (c.prepare) c.prepare(scratch);
  if (IsSkipped()) return;
  std::map<std::string, std::string> before;
  for (const std::string& name : c.unchanged) before[name] = Snapshot(scratch / name);

  const Result r = Invoke(scratch, c.how);
  EXPECT_EQ(r.status, c.status) << r.err;
  EXPECT_TRUE(Matches(r.err, c.err)) << "stderr: " << r.err << "pattern: " << c.err;
  for (const std::string& name : c.unchanged) {
    EXPECT_EQ(Snapshot(scratch / name), before[name]) << name << " changed";
  }
  EXPECT_EQ(Leftovers(scratch.Dir()), std::vector<std::string>{});
  if (c.check) c.check(scratch, r);
}

const std::string kSeed = "seed: 1\n";
std::vector<std::string> RunArgs(std::vector<std::string> outputs) {
  std::vector<std::string> args = {"run", "--seed", "1", "--rounds", "3"};
  args.insert(args.end(), outputs.begin(), outputs.end());
  return args;
}
std::string Refused(const std::string& pattern) {
  return "impactsim: " + pattern + "\n";
}

void Link(const Scratch& s, const std::string& to, const std::string& name) {
  fs::create_symlink(to, s / name);
}
// Flags and device nodes need privileges and a file system that keeps them;
// a machine without them skips the case and says why.
void SetFlag(const Scratch& s, const std::string& name, int flag) {
  const int fd = ::open((s / name).c_str(), O_RDONLY);
  int flags = 0;
  const bool set = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                   (flags |= flag, ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
  ::close(fd);
  if (!set) GTEST_SKIP() << "cannot set an immutable or append-only flag here";
}
void MakeNullDevice(const Scratch& s, const std::string& name) {
  if (::mknod((s / name).c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
    GTEST_SKIP() << "cannot make a device node here";
  }
}
mode_t ModeOf(const std::string& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st.st_mode;
}
uid_t OwnerOf(const std::string& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st.st_uid;
}
void ExpectCensusIn(const std::string& text) {
  EXPECT_EQ(text, ReferenceCensus());
}

const HostileCase kCases[] = {
    // A closed standard stream: the outputs hold only their own content.
    {"stderr_closed",
     nullptr,
     {RunArgs({"--census-csv", "@c.csv"}), 2},
     0,
     "",
     {},
     [](const Scratch& s, const Result&) { ExpectCensusIn(Slurp(s / "c.csv")); }},
    {"stdout_closed",
     nullptr,
     {RunArgs({"--census-csv", "@c.csv", "--grid-out", "@g.txt"}), 1},
     0,
     kSeed,
     {},
     [](const Scratch& s, const Result&) {
       ExpectCensusIn(Slurp(s / "c.csv"));
       EXPECT_EQ(Slurp(s / "g.txt").find(':'), std::string::npos) << "log lines in the grid";
     }},
    // One file under two names.
    {"same_new_file_two_spellings",
     nullptr,
     {RunArgs({"--census-csv", "@a.csv", "--grid-out", "./a.csv"})},
     2,
     Refused("--grid-out: expects a file other than --census-csv's, got './a.csv'"),
     {"a.csv"}},
    {"same_new_file_through_dotdot",
     [](const Scratch& s) { fs::create_directory(s / "d"); },
     {RunArgs({"--census-csv", "a.csv", "--grid-out", "d/../a.csv"})},
     2,
     Refused("--grid-out: expects a file other than --census-csv's, *"),
     {"a.csv"}},
    {"hard_links_to_one_file",
     [](const Scratch& s) {
       s.Write("h1", "kept\n");
       fs::create_hard_link(s / "h1", s / "h2");
     },
     {RunArgs({"--census-csv", "@h1", "--grid-out", "@h2"})},
     2,
     Refused("--grid-out: expects a file other than --census-csv's, *"),
     {"h1", "h2"}},
    {"link_to_the_other_output",
     [](const Scratch& s) { Link(s, "a.csv", "l"); },
     {RunArgs({"--census-csv", "@a.csv", "--map-png", "@l"})},
     2,
     Refused("--map-png: expects a file other than --census-csv's, *"),
     {"a.csv", "l"}},
    // Special files are written in place, never replaced.
    {"character_device",
     [](const Scratch& s) { MakeNullDevice(s, "null"); },
     {RunArgs({"--census-csv", "@null"})},
     0,
     kSeed,
     {"null"}},
    {"link_to_a_device",
     [](const Scratch& s) {
       MakeNullDevice(s, "null");
       Link(s, "null", "out");
     },
     {RunArgs({"--grid-out", "@out"})},
     0,
     kSeed,
     {"null", "out"}},
    {"fifo_with_a_reader",
     [](const Scratch& s) { ASSERT_EQ(::mkfifo((s / "fifo").c_str(), 0666), 0); },
     {RunArgs({"--census-csv", "@fifo"}), -1, false, true},
     0,
     kSeed,
     {"fifo"},
     [](const Scratch&, const Result& r) { ExpectCensusIn(r.fifo); }},
    {"the_file_stdout_goes_to",
     nullptr,
     {RunArgs({"--census-csv", "%stdout"})},
     2,
     Refused("--census-csv: cannot write *: is where standard output goes"),
     {}},
    {"sweep_rows_to_a_device",
     [](const Scratch& s) { MakeNullDevice(s, "null"); },
     {{"sweep", "--seeds", "1", "--rounds", "1", "--out", "@null"}},
     2,
     Refused("--out: expects a regular file, *, a character device"),
     {"null"}},
    // Links are followed: the file they name is replaced, the link stays.
    {"link_to_a_regular_file",
     [](const Scratch& s) {
       s.Write("real.csv", "old\n");
       Link(s, "real.csv", "link.csv");
     },
     {RunArgs({"--census-csv", "@link.csv"})},
     0,
     kSeed,
     {"link.csv"},
     [](const Scratch& s, const Result&) { ExpectCensusIn(Slurp(s / "real.csv")); }},
    {"dangling_link",
     [](const Scratch& s) { Link(s, "new.csv", "link.csv"); },
     {RunArgs({"--census-csv", "@link.csv"})},
     0,
     kSeed,
     {"link.csv"},
     [](const Scratch& s, const Result&) { ExpectCensusIn(Slurp(s / "new.csv")); }},
    // A replaced file keeps its permissions and owner; one the user may not
    // write, or that cannot be replaced, is refused before the run.
    {"private_file_stays_private",
     [](const Scratch& s) { s.Write("c.csv", "old\n", 0600); },
     {RunArgs({"--census-csv", "@c.csv"})},
     0,
     kSeed,
     {},
     [](const Scratch& s, const Result&) {
       EXPECT_EQ(ModeOf(s / "c.csv") & 07777, 0600u);
       ExpectCensusIn(Slurp(s / "c.csv"));
     }},
    {"read_only_file_of_the_user",
     [](const Scratch& s) {
       s.Write("c.csv", "kept\n", 0444);
       ASSERT_EQ(::chown((s / "c.csv").c_str(), kNobody, kNobody), 0);
     },
     {RunArgs({"--census-csv", "@c.csv"}), -1, true},
     2,
     Refused("--census-csv: cannot write *: Permission denied"),
     {"c.csv"}},
    {"root_replaces_another_users_file_keeping_owner_and_mode",
     [](const Scratch& s) {
       s.Write("c.csv", "old\n", 0640);
       ASSERT_EQ(::chown((s / "c.csv").c_str(), kNobody, kNobody), 0);
     },
     {RunArgs({"--census-csv", "@c.csv"})},
     0,
     kSeed,
     {},
     [](const Scratch& s, const Result&) {
       EXPECT_EQ(ModeOf(s / "c.csv") & 07777, 0640u);
       EXPECT_EQ(OwnerOf(s / "c.csv"), kNobody);
       ExpectCensusIn(Slurp(s / "c.csv"));
     }},
    {"immutable_file",
     [](const Scratch& s) {
       s.Write("c.csv", "kept\n");
       SetFlag(s, "c.csv", FS_IMMUTABLE_FL);
     },
     {RunArgs({"--census-csv", "@c.csv"})},
     2,
     Refused("--census-csv: cannot write *: is immutable and cannot be replaced"),
     {"c.csv"}},
    {"append_only_file",
     [](const Scratch& s) {
       s.Write("c.csv", "kept\n");
       SetFlag(s, "c.csv", FS_APPEND_FL);
     },
     {RunArgs({"--grid-out", "@c.csv"})},
     2,
     Refused("--grid-out: cannot write *: is append-only and cannot be replaced"),
     {"c.csv"}},
    {"another_users_file_in_a_sticky_directory",
     [](const Scratch& s) {
       fs::create_directory(s / "shared");
       ::chmod((s / "shared").c_str(), 01777);
       s.Write("shared/c.csv", "kept\n", 0666);
     },
     {RunArgs({"--census-csv", "@shared/c.csv"}), -1, true},
     2,
     Refused("--census-csv: cannot write *: belongs to another user in a sticky directory*"),
     {"shared/c.csv"}},
    // Any name the file system takes.
    {"long_name",
     nullptr,
     {RunArgs({"--census-csv", std::string(250, 'n')})},
     0,
     kSeed,
     {},
     [](const Scratch& s, const Result&) { ExpectCensusIn(Slurp(s / std::string(250, 'n'))); }},
    {"name_not_in_utf8",
     nullptr,
     {RunArgs({"--census-csv", "r\xe9sultat.csv"})},
     0,
     kSeed,
     {},
     [](const Scratch& s, const Result&) { ExpectCensusIn(Slurp(s / "r\xe9sultat.csv")); }},
    // What the user typed is shown escaped, on one line.
    {"value_with_a_line_break",
     nullptr,
     {{"run", "--rounds", "1\n2", "--census-csv", "@c.csv"}},
     2,
     Refused(R"(--rounds: expects an integer 1..2147483647, got '1\n2')"),
     {"c.csv"}},
    {"value_with_an_escape_sequence",
     nullptr,
     {{"run", "--distance", "\x1b[31mred"}},
     2,
     Refused(R"(--distance: expects *, got '\x1b[31mred')"),
     {}},
    // One rule for switches and repeats in both commands; nothing after "--".
    {"switch_with_a_value",
     nullptr,
     {RunArgs({"--summation=true", "--census-csv", "@c.csv"})},
     2,
     Refused("--summation: a switch, takes no value"),
     {"c.csv"}},
    {"switch_given_twice",
     nullptr,
     {RunArgs({"--summation", "--summation"})},
     2,
     Refused("--summation: given more than once"),
     {}},
    {"sweep_switch_given_twice",
     nullptr,
     {{"sweep", "--seeds", "1", "--quiet", "--quiet", "--out", "@s.csv"}},
     2,
     Refused("--quiet: given more than once"),
     {"s.csv", "s.csv.meta.json"}},
    {"operand_after_end_of_options",
     nullptr,
     {RunArgs({"--", "--census-csv", "@c.csv"})},
     2,
     Refused("--: impactsim takes options only, got '--census-csv' after it"),
     {"c.csv"}},
};

INSTANTIATE_TEST_SUITE_P(Table, HostileOutputTest, ::testing::ValuesIn(kCases),
                         [](const auto& row) { return row.param.name; });

}  // namespace
}  // namespace impactsim
