// The memory of a long run: "impactsim run" with --series and --census-csv,
// a one-task "impactsim sweep" with --series, and "impactsim verify" of that
// sweep, each of a million and of ten million rounds, as whole processes. The run never settles
// (halvorn, seed 8, initial dist 0.3, distance nb: its opinions blink for ever), so it makes every
// round it is given.
//
//   build/bin/round_memory_bench
//   build/bin/round_memory_bench --benchmark_filter=Sweep
//   build/bin/round_memory_bench --benchmark_filter=Verify/rounds:1000000
//
// max_rss_MiB is the process's peak resident memory, series_MiB what its
// series file held at the end; a run that holds nothing per round has the
// same peak at ten million rounds as at one million, while its series grows
// tenfold. Ten million rounds take a quarter of an hour or more.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

// The directory of this executable: impactsim is built beside it.
std::string OwnDirectory() {
  std::array<char, 4096> path{};
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
  const std::string text(path.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
  return text.substr(0, text.rfind('/') + 1);
}

// Runs the command with stdout and stderr on /dev/null; returns its peak
// resident memory in MiB.
double PeakMemory(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) throw std::runtime_error("cannot start " + command[0]);
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error(command[0] + " failed");
  }
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

double FileMiB(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<double>(st.st_size) / (1024.0 * 1024.0) : 0.0;
}

// A scratch directory for the outputs, removed with them.
class Scratch {
 public:
  Scratch() {
    std::string pattern = "/tmp/impactsim_memory.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no scratch directory");
    dir_ = pattern;
  }
  ~Scratch() {
    for (const char* name : {"series.csv", "census.csv", "rows.csv", "rows.csv.meta.json"}) {
      std::remove(Path(name).c_str());
    }
    ::rmdir(dir_.c_str());
  }
  std::string Path(const char* name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
};

enum class Command { Run, Sweep, Verify };

void Measure(benchmark::State& state, Command what) {
  const std::string rounds = std::to_string(state.range(0));
  for (auto _ : state) {
    const Scratch scratch;
    const std::string impactsim = OwnDirectory() + "impactsim";
    std::vector<std::string> command = {impactsim};
    if (what == Command::Run) {
      command.insert(command.end(),
                     {"run", "--seed", "8", "--census-csv", scratch.Path("census.csv")});
    } else {
      command.insert(command.end(), {"sweep", "--seeds", "8", "--out", scratch.Path("rows.csv")});
    }
    command.insert(command.end(), {"--initial-dist", "0.3", "--distance", "nb", "--rounds", rounds,
                                   "--series", scratch.Path("series.csv")});
    try {
      // verify runs the sweep's task again and compares its series, round
      // by round, with the file the sweep wrote.
      if (what == Command::Verify) {
        PeakMemory(command);
        command = {impactsim, "verify", scratch.Path("rows.csv")};
      }
      state.counters["max_rss_MiB"] = PeakMemory(command);
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
      break;
    }
    state.counters["series_MiB"] = FileMiB(scratch.Path("series.csv"));
  }
}

void Run(benchmark::State& state) {
  Measure(state, Command::Run);
}
void Sweep(benchmark::State& state) {
  Measure(state, Command::Sweep);
}
void Verify(benchmark::State& state) {
  Measure(state, Command::Verify);
}

BENCHMARK(Run)
    ->ArgName("rounds")
    ->Arg(1'000'000)
    ->Arg(10'000'000)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(Sweep)
    ->ArgName("rounds")
    ->Arg(1'000'000)
    ->Arg(10'000'000)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(Verify)
    ->ArgName("rounds")
    ->Arg(1'000'000)
    ->Arg(10'000'000)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
