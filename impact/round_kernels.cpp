#include "impact/round_kernels.h"

#include <hwy/highway.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include "impact/kernel_dispatch.h"

namespace impactsim {

namespace {

// Calls f(feature) for each item of a comma-separated list; false as soon as
// f returns false.
template <class F>
constexpr bool EachFeature(std::string_view list, const F& f) {
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    if (!f(list.substr(0, comma))) return false;
    list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
  }
  return true;
}

#if HWY_ARCH_X86

// Every instruction-set feature Highway names in an x86 target's attribute
// string (HWY_TARGET_STR_*), with the check whether this processor, and its
// operating system, run it. __builtin_cpu_supports takes only a literal, so
// each name is written once here, for both.
struct Feature {
  std::string_view name;
  bool (*runs)();
};
#define IMPACTSIM_FEATURE(literal)                               \
  {                                                              \
    literal, [] { return __builtin_cpu_supports(literal) != 0; } \
  }
constexpr Feature kFeatures[] = {
    IMPACTSIM_FEATURE("sse2"),     IMPACTSIM_FEATURE("ssse3"),    IMPACTSIM_FEATURE("sse4.1"),
    IMPACTSIM_FEATURE("sse4.2"),   IMPACTSIM_FEATURE("pclmul"),   IMPACTSIM_FEATURE("aes"),
    IMPACTSIM_FEATURE("avx"),      IMPACTSIM_FEATURE("avx2"),     IMPACTSIM_FEATURE("bmi"),
    IMPACTSIM_FEATURE("bmi2"),     IMPACTSIM_FEATURE("fma"),      IMPACTSIM_FEATURE("f16c"),
    IMPACTSIM_FEATURE("avx512f"),  IMPACTSIM_FEATURE("avx512vl"), IMPACTSIM_FEATURE("avx512dq"),
    IMPACTSIM_FEATURE("avx512bw"),
};
#undef IMPACTSIM_FEATURE

constexpr const Feature* FindFeature(std::string_view name) {
  for (const Feature& f : kFeatures) {
    if (f.name == name) return &f;
  }
  return nullptr;
}

// The targets with instructions beyond plain code, and the attribute string
// Highway compiles each with: the features a processor must run.
struct TargetFeatures {
  std::int64_t target;
  std::string_view features;
};
constexpr TargetFeatures kTargets[] = {
    {HWY_AVX3, HWY_TARGET_STR_AVX3},
    {HWY_AVX2, HWY_TARGET_STR_AVX2},
    {HWY_SSE4, HWY_TARGET_STR_SSE4},
    {HWY_SSSE3, HWY_TARGET_STR_SSSE3},
};

constexpr const TargetFeatures* FindTarget(std::int64_t target) {
  for (const TargetFeatures& t : kTargets) {
    if (t.target == target) return &t;
  }
  return nullptr;
}

// Highway's lists and ours agree: every feature a target is compiled with
// has its check, and every target the kernels are compiled for is plain code
// or has its list (and its case in impact/kernel_dispatch.h).
constexpr bool EveryFeatureChecked() {
  for (const TargetFeatures& t : kTargets) {
    if (!EachFeature(t.features, [](std::string_view f) { return FindFeature(f) != nullptr; })) {
      return false;
    }
  }
  return true;
}
static_assert(EveryFeatureChecked(), "Highway compiles a target with a feature not in kFeatures");

constexpr bool EveryTargetListed() {
  for (std::int64_t targets = HWY_TARGETS; targets != 0; targets &= targets - 1) {
    const std::int64_t target = targets & -targets;
    const bool plain = target == HWY_EMU128 || target == HWY_SCALAR;
    if (!plain && FindTarget(target) == nullptr) return false;
  }
  return true;
}
static_assert(EveryTargetListed(), "a compiled target has no feature list in kTargets");

#endif  // HWY_ARCH_X86

// Whether this processor, and its operating system, run the instructions
// Highway compiles a target's code with (its target attribute string).
bool ProcessorRuns(std::int64_t target) {
#if HWY_ARCH_X86
  if (const TargetFeatures* t = FindTarget(target)) {
    return EachFeature(t->features, [](std::string_view f) { return FindFeature(f)->runs(); });
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

// A name from the environment, safe to print on one line: bytes outside
// printable ASCII as \xNN.
std::string Printable(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7f) {
      out += c;
    } else {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02x", byte);
      out += escape;
    }
  }
  return out;
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

std::optional<std::string> ApplyKernelFromEnvironment() {
  const char* name = std::getenv("IMPACTSIM_KERNEL");
  if (name == nullptr || *name == '\0') return std::nullopt;
  if (!RoundKernelRuns(name)) {
    return "IMPACTSIM_KERNEL=" + Printable(name) + ": not a kernel this processor runs";
  }
  ForceRoundKernel(name);
  return std::nullopt;
}

}  // namespace impactsim
