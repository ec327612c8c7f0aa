#include "sweep/build_info.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <climits>
#include <ctime>

// Generated into the build tree: the commit on every build, the compiler and
// flags when the build is configured.
#include "sweep/build_commit.h"
#include "sweep/build_compiler.h"

namespace impactsim {

namespace {

// Collapses runs of blanks and trims them: flags are joined from several
// lists, some of them empty.
std::string Tidy(std::string text) {
  std::string tidy;
  for (const char c : text) {
    const bool blank = c == ' ' || c == '\t';
    if (blank && (tidy.empty() || tidy.back() == ' ')) continue;
    tidy += blank ? ' ' : c;
  }
  if (!tidy.empty() && tidy.back() == ' ') tidy.pop_back();
  return tidy;
}

}  // namespace

const BuildInfo& ThisBuild() {
  static const BuildInfo info{IMPACTSIM_COMMIT, IMPACTSIM_COMMIT_MODIFIED != 0, IMPACTSIM_COMPILER,
                              IMPACTSIM_BUILD_TYPE, Tidy(IMPACTSIM_FLAGS)};
  return info;
}

HostInfo ThisHost() {
  HostInfo info{"unknown", "unknown", "unknown"};
  char host[HOST_NAME_MAX + 1] = {};
  if (::gethostname(host, sizeof host - 1) == 0 && host[0] != '\0') info.Host = host;
  struct utsname names {};
  if (::uname(&names) == 0) {
    info.Os = Tidy(std::string(names.sysname) + ' ' + names.release + ' ' + names.version);
    info.Arch = names.machine;
  }
  return info;
}

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  char text[32] = {};
  if (now == static_cast<std::time_t>(-1) || ::gmtime_r(&now, &utc) == nullptr ||
      std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc) == 0) {
    return "unknown";
  }
  return text;
}

}  // namespace impactsim
