// What the runner does on a signal: the temporary files of its outputs
// removed before it ends by the signal; Ctrl+C, SIGTERM and SIGHUP stopping
// its runs after their round, promptly however long they are, with a sweep's
// files left ready to resume; a series that cannot be written stopping a
// sweep at once. Each case runs the real binary in a scratch directory.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/scratch_dir.h"

namespace impactsim {
namespace {

namespace fs = std::filesystem;
using impactsim::testing::Slurp;

// A directory of its own for each case, removed with what it holds.
class Scratch {
 public:
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "impactsim_signal.XXXXXX").string();
    dir_ = ::mkdtemp(pattern.data());
  }
  ~Scratch() { fs::remove_all(dir_, ec_); }
  std::string operator/(const std::string& name) const { return (dir_ / name).string(); }
  const fs::path& Dir() const { return dir_; }

 private:
  fs::path dir_;
  std::error_code ec_;
};

// The files of the directory whose names are those of temporary files.
std::vector<std::string> Leftovers(const fs::path& dir) {
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().filename().string().starts_with(".impactsim.")) {
      left.push_back(entry.path().string());
    }
  }
  return left;
}

// Starts the runner in `dir` with these arguments, its stdout to `log` (or
// /dev/null), its stderr to /dev/null and no core dump.
pid_t Start(const fs::path& dir, const std::vector<std::string>& args, const std::string& log = "",
            const std::string& errLog = "", rlim_t fileLimit = RLIM_INFINITY) {
  std::vector<std::string> all = {IMPACTSIM_BINARY};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    if (fileLimit != RLIM_INFINITY) {
      // A write past the limit fails with EFBIG rather than ending the process.
      ::signal(SIGXFSZ, SIG_IGN);
      const rlimit files{fileLimit, fileLimit};
      ::setrlimit(RLIMIT_FSIZE, &files);
    }
    const int null = ::open("/dev/null", O_WRONLY);
    const int out = log.empty() ? null : ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err =
        errLog.empty() ? null : ::open(errLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (null < 0 || out < 0 || err < 0 || ::chdir(dir.c_str()) != 0) ::_exit(125);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

// Waits until `holds` does, for a minute at most.
bool WaitFor(const std::function<bool()>& holds) {
  for (int i = 0; i < 30000; ++i) {
    if (holds()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return holds();
}

// A started runner, killed and reaped on the way out unless it has been.
struct Child {
  explicit Child(pid_t started) : pid(started) {}
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    if (pid <= 0) return;
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
  pid_t pid;
};

// Sends `sig` and waits for the process; true if the signal ended it, and
// within a few seconds of being sent.
bool EndsPromptlyBy(Child& child, int sig) {
  const auto sent = std::chrono::steady_clock::now();
  ::kill(child.pid, sig);
  int status = 0;
  ::waitpid(child.pid, &status, 0);
  child.pid = 0;
  const auto took = std::chrono::steady_clock::now() - sent;
  return WIFSIGNALED(status) && WTERMSIG(status) == sig && took < std::chrono::seconds(5);
}

// Every signal that ends the process by default removes the temporary file
// of an output before the process ends by it; so do the signals of a fault
// when another process sends them. SIGINT, SIGTERM and SIGHUP stop the run
// after its round, which the log shows whole, without a normal end.
TEST(HostileSignals, EverySignalThatEndsTheRunRemovesItsTemporaryFiles) {
  for (const int sig :
       {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU, SIGVTALRM,
        SIGRTMIN + 3, SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGSYS}) {
    SCOPED_TRACE(sig);
    Scratch scratch;
    // This seed's opinions blink between two patterns and never settle.
    const std::string census = scratch / "c.csv";
    const std::string log = scratch / "log";
    Child run(Start(scratch.Dir(),
                    {"run", "--seed", "8", "--initial-dist", "0.3", "--distance", "nb", "--rounds",
                     "2147483647", "--census-csv", census},
                    log));
    ASSERT_TRUE(WaitFor([&] {
      return Leftovers(scratch.Dir()).size() == 1 && Slurp(log).find("\n1 : ") != std::string::npos;
    })) << "the run's temporary file, and its first round";
    EXPECT_TRUE(EndsPromptlyBy(run, sig));
    EXPECT_EQ(Leftovers(scratch.Dir()), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(census));
    if (sig == SIGINT || sig == SIGTERM || sig == SIGHUP) {
      const std::string text = Slurp(log);
      EXPECT_TRUE(text.ends_with("  \n")) << "the last round's line, whole";
      EXPECT_EQ(text.find("Normal End of Job"), std::string::npos);
    }
  }
}

// Ctrl+C stops a sweep's long task after its round. The rounds of a task
// reach the series file as they end; the rows of the tasks done stay, and
// --resume takes the files, cuts off the unfinished task's rounds and runs
// it again.
TEST(HostileSignals, CtrlCStopsASweepBetweenRoundsAndItResumes) {
  Scratch scratch;
  // Seeds 1 to 3 settle within a few rounds, seed 8 never does.
  const std::vector<std::string> sweep = {"sweep",      "--seeds",    "1-3,8",    "--initial-dist",
                                          "0.3",        "--distance", "nb",       "--rounds",
                                          "2147483647", "--out",      "rows.csv", "--series",
                                          "rounds.csv", "--jobs",     "2"};
  const std::string rows = scratch / "rows.csv";
  const std::string rounds = scratch / "rounds.csv";
  const auto running = [&](const char* line) {
    return [&, line] {
      return Slurp(rows).ends_with("\n") && std::ranges::count(Slurp(rows), '\n') == 4 &&
             Slurp(rounds).find(line) != std::string::npos;
    };
  };
  Child first(Start(scratch.Dir(), sweep));
  ASSERT_TRUE(WaitFor(running("\n3,20000,")));
  EXPECT_TRUE(EndsPromptlyBy(first, SIGINT));
  const std::string kept = Slurp(rows);

  std::vector<std::string> resume = sweep;
  resume.emplace_back("--resume");
  Child second(Start(scratch.Dir(), resume));
  // Cut back to the rounds of the rows kept, then the long task anew.
  ASSERT_TRUE(WaitFor([&] { return Slurp(rounds).find("\n3,20000,") == std::string::npos; }));
  ASSERT_TRUE(WaitFor(running("\n3,100,")));
  EXPECT_TRUE(EndsPromptlyBy(second, SIGINT));
  EXPECT_EQ(Slurp(rows), kept);
  EXPECT_EQ(Leftovers(scratch.Dir()), std::vector<std::string>{});
}

// A series that cannot be written (here: past the file size limit) stops the
// sweep within a task that would run for hours, and says why; the rows of the
// tasks done stay.
TEST(HostileSignals, ASeriesThatCannotBeWrittenStopsALongTask) {
  Scratch scratch;
  const pid_t pid = Start(scratch.Dir(),
                          {"sweep", "--seeds", "1-3,8", "--initial-dist", "0.3", "--distance", "nb",
                           "--rounds", "2147483647", "--out", "rows.csv", "--series", "rounds.csv"},
                          "", scratch / "err", 1 << 20);
  int status = 0;
  const bool ended = WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; });
  if (!ended) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  ASSERT_TRUE(ended) << "still running a minute later";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  const std::string err = Slurp(scratch / "err");
  EXPECT_TRUE(err.starts_with("impactsim: --series: writing ") &&
              err.ends_with("rounds.csv' failed: File too large\n"))
      << err;
  EXPECT_EQ(std::ranges::count(Slurp(scratch / "rows.csv"), '\n'), 4);
}

}  // namespace
}  // namespace impactsim
