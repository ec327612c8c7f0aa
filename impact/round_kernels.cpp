#include "impact/round_kernels.h"

#include <hwy/highway.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "impact/kernel_dispatch.h"

namespace impactsim {

namespace {

// Whether this processor, and its operating system, run the instructions
// Highway compiles a target's code with (its target attribute string).
bool ProcessorRuns(std::int64_t target) {
#if HWY_ARCH_X86
  const bool ssse3 = __builtin_cpu_supports("sse2") && __builtin_cpu_supports("ssse3");
  const bool sse4 = ssse3 && __builtin_cpu_supports("sse4.1") && __builtin_cpu_supports("sse4.2") &&
                    __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("aes");
  const bool avx2 = sse4 && __builtin_cpu_supports("avx") && __builtin_cpu_supports("avx2") &&
                    __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
                    __builtin_cpu_supports("fma") && __builtin_cpu_supports("f16c");
  const bool avx3 = avx2 && __builtin_cpu_supports("avx512f") &&
                    __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
                    __builtin_cpu_supports("avx512bw");
  switch (target) {
    case HWY_AVX3:
      return avx3;
    case HWY_AVX2:
      return avx2;
    case HWY_SSE4:
      return sse4;
    case HWY_SSSE3:
      return ssse3;
    default:
      break;
  }
#endif
  // The plain code runs everywhere; any other target is not chosen.
  return target == HWY_STATIC_TARGET || target == HWY_EMU128 || target == HWY_SCALAR;
}

struct Version {
  std::string name;
  std::int64_t target;
  bool runs;
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
      v.push_back({name, target, ProcessorRuns(target)});
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

const Version& Widest() {
  for (const Version& v : Versions()) {
    if (v.runs) return v;
  }
  return Versions().back();
}

std::atomic<const Version*>& InUse() {
  static std::atomic<const Version*> inUse{&Widest()};
  return inUse;
}

}  // namespace

std::int64_t RoundKernelTarget() {
  return InUse().load(std::memory_order_relaxed)->target;
}

std::vector<const char*> RoundKernels() {
  std::vector<const char*> names;
  for (const Version& v : Versions()) names.push_back(v.name.c_str());
  return names;
}

bool RoundKernelRuns(const char* name) {
  const Version* v = Find(name);
  return v != nullptr && v->runs;
}

const char* ChosenRoundKernel() {
  return InUse().load()->name.c_str();
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
  if (name == nullptr) {
    InUse() = &Widest();
    return;
  }
  const Version* v = Find(name);
  if (v == nullptr) throw std::logic_error("no such kernel");
  if (!v->runs) throw std::logic_error("this processor cannot run that kernel");
  InUse() = v;
}

}  // namespace impactsim
