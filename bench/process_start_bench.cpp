// The cost of starting the runner: "impactsim run --seed 1 --rounds 1" as a
// whole process, next to /bin/true started the same way in the same loop,
// both with stdout and stderr on /dev/null.
//
//   build/bin/process_start_bench
//
// true_ms and impactsim_ms are the mean wall times of one process;
// ratio = impactsim_ms / true_ms. A cluster job that runs many short runs
// pays this once per run, so the runner should stay within a few times the
// cost of the smallest program.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
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

// Starts the command with its output on /dev/null and waits for it; returns
// the wall time in seconds.
double TimeProcess(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) throw std::runtime_error("cannot start " + command[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  const auto end = std::chrono::steady_clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error(command[0] + " failed");
  }
  return std::chrono::duration<double>(end - start).count();
}

void ProcessStart(benchmark::State& state) {
  const std::vector<std::string> trueCommand = {"/bin/true"};
  const std::vector<std::string> runCommand = {
      OwnDirectory() + "impactsim", "run", "--seed", "1", "--rounds", "1"};
  double trueSeconds = 0.0;
  double runSeconds = 0.0;
  for (auto _ : state) {
    trueSeconds += TimeProcess(trueCommand);
    runSeconds += TimeProcess(runCommand);
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["true_ms"] = 1e3 * trueSeconds / n;
  state.counters["impactsim_ms"] = 1e3 * runSeconds / n;
  state.counters["ratio"] = runSeconds / trueSeconds;
}

BENCHMARK(ProcessStart)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
