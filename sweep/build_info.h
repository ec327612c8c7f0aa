#pragma once
// What the running binary was built from and where it runs: recorded in a
// sweep's description so that its rows can be traced to a build and a
// machine.

#include <string>

namespace impactsim {

// The build, fixed when the binary was made.
struct BuildInfo {
  std::string Commit;     // 40 lower-case hex digits, or "unknown" outside a git checkout
  bool Modified;          // the tree had changes not in Commit (false when unknown)
  std::string Compiler;   // id and version, e.g. "GNU 12.2.0"
  std::string BuildType;  // e.g. "Release"
  std::string Flags;      // the compile flags of that build type and the project's own
};
const BuildInfo& ThisBuild();

// The machine, read when asked: the host name and uname's system, release,
// version and hardware name. A part that cannot be read is "unknown".
struct HostInfo {
  std::string Host;
  std::string Os;    // e.g. "Linux 6.1.0-18-amd64 #1 SMP ..."
  std::string Arch;  // e.g. "x86_64"
};
HostInfo ThisHost();

// The current time in UTC as ISO 8601 to the second: "2026-12-09T01:23:45Z".
std::string UtcNow();

}  // namespace impactsim
