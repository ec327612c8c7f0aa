// The runner's output files as a hostile user meets them: closed standard
// streams, one file under two names, devices, FIFOs, sockets and links,
// read-only, immutable and sticky-directory files, long and non-UTF-8 names,
// values that would print control characters, broken picture parts. Each case runs the real binary
// in a scratch directory of its own, as root or as an unprivileged user, and says which files must
// come out unchanged, byte for byte and mode for mode.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
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
// Far longer than any case takes on a loaded machine.
constexpr unsigned kTimeLimitSeconds = 120;

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

// What the runner's stdout is.
enum class Stdout { File, Pipe, Socket };

struct Invocation {
  std::vector<std::string> args;  // "@name" names a file of the scratch directory
  int closed = -1;                // a standard stream the runner starts without
  bool asNobody = false;          // run as an unprivileged user
  bool fifoReader = false;        // read the FIFO "fifo" while the runner writes it
  Stdout out = Stdout::File;      // a pipe or socket is read while the runner writes it
  std::string binary = "";        // "@name": this copy of the runner; empty: the shared one
};

// The two ends of a pipe or a connected socket pair, the reading end first.
std::array<int, 2> StreamEnds(Stdout kind) {
  std::array<int, 2> ends{-1, -1};
  const int made = kind == Stdout::Pipe
                       ? ::pipe2(ends.data(), O_CLOEXEC)
                       : ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends.data());
  EXPECT_EQ(made, 0);
  return ends;
}

std::string ReadToEnd(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<std::size_t>(n));
  ::close(fd);
  return text;
}

// Runs the binary in the scratch directory; its stdout and stderr go to
// files beside it, out of the directory's way. "%stdout" in an argument
// stands for the file that receives stdout.
Result Invoke(const Scratch& scratch, const Invocation& how) {
  const std::string binary = how.binary.empty() ? Binary() : scratch / how.binary.substr(1);
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
  const std::array<int, 2> stream =
      how.out == Stdout::File ? std::array<int, 2>{-1, -1} : StreamEnds(how.out);
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Only what is safe between fork and exec.
    if (::chdir(scratch.Dir().c_str()) != 0) ::_exit(125);
    const int out = stream[1] >= 0 ? ::dup(stream[1])
                                   : ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
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
    // A runner that waits or reads without end is stopped, not waited for:
    // the case then fails on its status.
    ::alarm(kTimeLimitSeconds);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  std::string streamed;
  if (stream[1] >= 0) {
    ::close(stream[1]);
    streamed = ReadToEnd(stream[0]);  // until the runner has closed its end
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (reader.joinable()) reader.join();
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = stream[1] >= 0 ? streamed : Slurp(outPath);
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
// The log and the final grid of "run --seed 1 --rounds 3", as the runner
// writes them to a file.
std::string ReferenceLogAndGrid() {
  static const std::string text = [] {
    Scratch scratch;
    const Result r = Invoke(scratch, {RunArgs({"--grid-out", "@g.txt"})});
    return r.out + Slurp(scratch / "g.txt");
  }();
  return text;
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
// The real part with the bytes from `offset` on replaced.
void PatchedPart(const std::string& part, const fs::path& real, long offset, std::string bytes) {
  fs::copy_file(real, part);
  std::fstream file(part, std::ios::in | std::ios::out | std::ios::binary);
  file.seekp(offset);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
// The ELF machine number of a processor other than the runner's.
std::string OtherMachine() {
  const bool x86 = Slurp(IMPACTSIM_BINARY).substr(18, 2) == std::string("\x3e\x00", 2);
  return x86 ? std::string("\xb7\x00", 2) : std::string("\x3e\x00", 2);  // arm64 : x86-64
}
// A run asking for a map, by a copy of the runner in "bin" beside a picture
// part that `make` writes (given its path and the real part's). A part with
// a reason is refused with it before it is loaded: status 1 as for a missing
// part, one line, no output file; one without makes the picture.
using MakePart = void (*)(const std::string& part, const fs::path& real);
HostileCase PartCase(std::string name, MakePart make, const std::string& reason) {
  const bool refused = !reason.empty();
  return {std::move(name),
          [make](const Scratch& s) {
            const fs::path binary(IMPACTSIM_BINARY);
            fs::create_directory(s / "bin");
            fs::copy_file(binary, s / "bin/impactsim");
            make(s / "bin/impactsim-pictures.so", binary.parent_path() / "impactsim-pictures.so");
          },
          {RunArgs({"--grid-out", "@g.txt", "--map-png", "@m.png"}), -1, false, false, Stdout::File,
           "@bin/impactsim"},
          refused ? 1 : 0,
          refused
              ? Refused("--map-png: cannot load the picture part '*/bin/impactsim-pictures.so': " +
                        reason)
              : kSeed,
          refused ? std::vector<std::string>{"g.txt", "m.png"} : std::vector<std::string>{},
          [refused](const Scratch& s, const Result&) {
            EXPECT_EQ(Slurp(s / "m.png").starts_with("\x89PNG"), !refused);
          }};
}

// A finished sweep of six runs with its series: s.csv, s.csv.meta.json and
// ser; then `name` replaced by a FIFO, or by a link to `device`.
void SweepWith(const Scratch& s, const std::string& name, const std::string& device = "") {
  Invoke(s, {{"sweep", "--program", "kestane", "--rounds", "1", "--seeds", "1-6", "--series",
              "@ser", "--out", "@s.csv", "--quiet"}});
  ASSERT_TRUE(fs::remove(s / name));
  if (device.empty()) {
    ASSERT_EQ(::mkfifo((s / name).c_str(), 0666), 0);
  } else {
    Link(s, device, name);
  }
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
    // /dev/stdout on a pipe or a socket is that stream: written after the
    // log, in one pass.
    {"grid_to_dev_stdout_on_a_pipe",
     nullptr,
     {RunArgs({"--grid-out", "/dev/stdout"}), -1, false, false, Stdout::Pipe},
     0,
     kSeed,
     {},
     [](const Scratch&, const Result& r) { EXPECT_EQ(r.out, ReferenceLogAndGrid()); }},
    {"grid_to_dev_stdout_on_a_socket",
     nullptr,
     {RunArgs({"--grid-out", "/dev/stdout"}), -1, false, false, Stdout::Socket},
     0,
     kSeed,
     {},
     [](const Scratch&, const Result& r) { EXPECT_EQ(r.out, ReferenceLogAndGrid()); }},
    {"census_to_dev_stdout_through_a_link_on_a_socket",
     [](const Scratch& s) { Link(s, "/dev/stdout", "out"); },
     {RunArgs({"--census-csv", "@out"}), -1, false, false, Stdout::Socket},
     0,
     kSeed,
     {"out"},
     [](const Scratch&, const Result& r) { EXPECT_TRUE(r.out.ends_with(ReferenceCensus())); }},
    // A picture part that is not a whole shared library for this processor.
    PartCase(
        "picture_part_whole",
        [](const std::string& part, const fs::path& real) { fs::copy_file(real, part); }, ""),
    PartCase(
        "picture_part_cut_short",
        [](const std::string& part, const fs::path& real) {
          fs::copy_file(real, part);
          fs::resize_file(part, fs::file_size(real) / 2);
        },
        "is cut short: * bytes, where its ELF headers describe *"),
    PartCase(
        "picture_part_for_another_processor",
        [](const std::string& part, const fs::path& real) {
          PatchedPart(part, real, 18, OtherMachine());
        },
        "is built for another kind of processor (ELF machine *; this runner: *)"),
    PartCase(
        "picture_part_of_32_bits",
        [](const std::string& part, const fs::path& real) { PatchedPart(part, real, 4, "\x01"); },
        "is built for another kind of processor (*32-bit*; this runner: *)"),
    PartCase(
        "picture_part_not_elf",
        [](const std::string& part, const fs::path&) {
          std::ofstream(part) << std::string(4096, '#');
        },
        "is not a shared library (no ELF header)"),
    PartCase(
        "picture_part_link_loop",
        [](const std::string& part, const fs::path&) {
          fs::create_symlink("loop", part);
          fs::create_symlink("impactsim-pictures.so", fs::path(part).parent_path() / "loop");
        },
        "its symbolic links form a loop*"),
    PartCase(
        "picture_part_directory",
        [](const std::string& part, const fs::path&) { fs::create_directory(part); },
        "is a directory"),
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
    // Characters that would break the line or reorder what follows it on a
    // terminal are escaped byte by byte, as C1 controls are; others are kept.
    {"value_with_a_line_separator",
     nullptr,
     {{"run", "--distance", "1\u20282"}},
     2,
     Refused(R"(--distance: expects *, got '1\xe2\x80\xa82')"),
     {}},
    {"value_with_a_paragraph_separator_and_a_next_line",
     nullptr,
     {{"run", "--distance", "1\u20292\u00853"}},
     2,
     Refused(R"(--distance: expects *, got '1\xe2\x80\xa92\xc2\x853')"),
     {}},
    {"value_with_a_right_to_left_override",
     nullptr,
     {{"run", "--distance", "\u202egnp.exe"}},
     2,
     Refused(R"(--distance: expects *, got '\xe2\x80\xaegnp.exe')"),
     {}},
    {"value_with_bidirectional_marks_and_isolates",
     nullptr,
     {{"run", "--distance", "\u200e\u200f\u2066\u2069\u061c"}},
     2,
     Refused(
         R"(--distance: expects *, got '\xe2\x80\x8e\xe2\x80\x8f\xe2\x81\xa6\xe2\x81\xa9\xd8\x9c')"),
     {}},
    {"value_with_printable_characters_beside_those_ranges",
     nullptr,
     {{"run", "--distance", "\u2027\u2030\u2065\u206a\u00a0\u00e9"}},
     2,
     Refused("--distance: expects *, got '\u2027\u2030\u2065\u206a\u00a0\u00e9'"),
     {}},
    // What a sweep's description names, or is, is read only if it is a
    // regular file: a FIFO would block the reader, a device never ends.
    {"verify_description_is_a_fifo",
     [](const Scratch& s) { SweepWith(s, "s.csv.meta.json"); },
     {{"verify", "@s.csv"}},
     2,
     Refused("FILE: cannot read '*/s.csv.meta.json', the description of '*/s.csv': a FIFO, "
             "not a regular file"),
     {"s.csv", "ser"}},
    {"verify_description_links_to_dev_zero",
     [](const Scratch& s) { SweepWith(s, "s.csv.meta.json", "/dev/zero"); },
     {{"verify", "@s.csv"}},
     2,
     Refused("FILE: cannot read '*/s.csv.meta.json', *: a character device, not a regular file"),
     {"s.csv", "ser"}},
    {"verify_series_is_a_fifo",
     [](const Scratch& s) { SweepWith(s, "ser"); },
     {{"verify", "@s.csv"}},
     2,
     Refused("FILE: cannot read the series '*/ser': a FIFO, not a regular file"),
     {"s.csv", "s.csv.meta.json"}},
    {"verify_series_links_to_dev_urandom",
     [](const Scratch& s) { SweepWith(s, "ser", "/dev/urandom"); },
     {{"verify", "@s.csv"}},
     2,
     Refused("FILE: cannot read the series '*/ser': a character device, not a regular file"),
     {"s.csv", "s.csv.meta.json"}},
    {"resume_description_is_a_fifo",
     [](const Scratch& s) { SweepWith(s, "s.csv.meta.json"); },
     {{"sweep", "--program", "kestane", "--rounds", "1", "--seeds", "1-7", "--series", "@ser",
       "--out", "@s.csv", "--resume"}},
     2,
     Refused("--resume: cannot tell which sweep '*/s.csv' belongs to: '*/s.csv.meta.json' cannot "
             "be read: a FIFO, not a regular file"),
     {"s.csv", "ser"}},
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
