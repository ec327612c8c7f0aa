#include "impact/round_kernels.h"

#include <hwy/highway.h>
#include <hwy/targets.h>

#include <cctype>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

namespace impactsim {

namespace {

struct Version {
  std::string name;
  std::int64_t target;
};

// The targets the kernels are compiled for, widest first (Highway numbers
// better targets with lower bits).
const std::vector<Version>& Versions() {
  static const std::vector<Version> versions = [] {
    std::vector<Version> v;
    for (std::int64_t targets = HWY_TARGETS; targets != 0; targets &= targets - 1) {
      const std::int64_t target = targets & -targets;
      std::string name = hwy::TargetName(target);
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      v.push_back({name, target});
    }
    return v;
  }();
  return versions;
}

const Version* Find(const char* name) {
  for (const Version& v : Versions()) {
    if (v.name == name) return &v;
  }
  return nullptr;
}

// What the processor runs, whatever version is forced.
std::int64_t ProcessorTargets() {
  static const std::int64_t supported = hwy::SupportedTargets();
  return supported;
}

const Version*& Forced() {
  static const Version* forced = nullptr;
  return forced;
}

}  // namespace

std::vector<const char*> RoundKernels() {
  std::vector<const char*> names;
  for (const Version& v : Versions()) names.push_back(v.name.c_str());
  return names;
}

bool RoundKernelRuns(const char* name) {
  const Version* v = Find(name);
  return v != nullptr && (ProcessorTargets() & v->target) != 0;
}

const char* ChosenRoundKernel() {
  if (Forced() != nullptr) return Forced()->name.c_str();
  for (const Version& v : Versions()) {
    if ((ProcessorTargets() & v.target) != 0) return v.name.c_str();
  }
  return Versions().back().name.c_str();
}

void ChooseRoundKernel() {
  static const bool chosen = [] {
    const char* name = std::getenv("IMPACTSIM_KERNEL");
    if (name != nullptr && *name != '\0') {
      if (!RoundKernelRuns(name)) {
        throw std::runtime_error(std::string("IMPACTSIM_KERNEL=") + name +
                                 ": not a kernel this processor runs");
      }
      ForceRoundKernel(name);
    }
    return true;
  }();
  (void)chosen;
}

void ForceRoundKernel(const char* name) {
  ProcessorTargets();  // read before any mock below
  if (name == nullptr) {
    Forced() = nullptr;
    hwy::SetSupportedTargetsForTest(0);
  } else {
    const Version* v = Find(name);
    if (v == nullptr) throw std::logic_error("no such kernel");
    if ((ProcessorTargets() & v->target) == 0) {
      throw std::logic_error("this processor cannot run that kernel");
    }
    Forced() = v;
    hwy::SetSupportedTargetsForTest(v->target);
  }
  hwy::GetChosenTarget().Update(hwy::SupportedTargets());
}

}  // namespace impactsim
