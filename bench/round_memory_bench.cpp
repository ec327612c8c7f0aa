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
#include <sys/stat.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "bench/quiet_process.h"

namespace {

using impactsim::bench::OwnDirectory;

// The peak resident memory of the command, in MiB.
double PeakMemory(const std::vector<std::string>& command) {
  return static_cast<double>(impactsim::bench::RunQuietly(command).ru_maxrss) / 1024.0;  // KiB
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

// Each command over a million and ten million rounds, one process each.
const bool kRegistered = [] {
  for (const auto& [name, what] :
       {std::pair{"Run", Command::Run}, std::pair{"Sweep", Command::Sweep},
        std::pair{"Verify", Command::Verify}}) {
    benchmark::RegisterBenchmark(name, Measure, what)
        ->ArgName("rounds")
        ->Arg(1'000'000)
        ->Arg(10'000'000)
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kSecond);
  }
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
