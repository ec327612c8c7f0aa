#pragma once
// Whole processes for the benchmarks that measure one: the runner built
// beside the benchmark, started with its output on /dev/null and waited for.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace impactsim::bench {

// The directory of this executable: impactsim is built beside it.
inline std::string OwnDirectory() {
  std::array<char, 4096> path{};
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
  const std::string text(path.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
  return text.substr(0, text.rfind('/') + 1);
}

// Runs the command with stdout and stderr on /dev/null and waits for it;
// returns its resource usage. Throws if it cannot start or does not exit 0.
inline rusage RunQuietly(const std::vector<std::string>& command) {
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
  return usage;
}

}  // namespace impactsim::bench
