#include "impact/round_kernels.h"

#include <stdexcept>
#include <string_view>

namespace impactsim {

namespace {

struct Version {
  const char* name;
  RoundKernel kernel;
  bool (*runs)();
};

// Without AVX2 the per-turn code is the fastest: with SSE4.2's two lanes of
// doubles a round took 2.5 times as long.
const Version kVersions[] = {
    {"avx512", RoundKernel::Avx512,
     [] {
       return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
              __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq");
     }},
    {"avx2", RoundKernel::Avx2, [] { return __builtin_cpu_supports("avx2") != 0; }},
    {"scalar", RoundKernel::Scalar, [] { return true; }},
};

RoundKernel Widest() {
  for (const Version& v : kVersions) {
    if (v.runs()) return v.kernel;
  }
  return RoundKernel::Scalar;
}

RoundKernel& Chosen() {
  static RoundKernel chosen = Widest();
  return chosen;
}

}  // namespace

std::vector<const char*> RoundKernels() {
  std::vector<const char*> names;
  for (const Version& v : kVersions) names.push_back(v.name);
  return names;
}

bool RoundKernelRuns(const char* name) {
  for (const Version& v : kVersions) {
    if (std::string_view(v.name) == name) return v.runs();
  }
  return false;
}

RoundKernel ChosenRoundKernel() {
  return Chosen();
}

void ForceRoundKernel(const char* name) {
  if (name == nullptr) {
    Chosen() = Widest();
    return;
  }
  for (const Version& v : kVersions) {
    if (std::string_view(v.name) != name) continue;
    if (!v.runs()) throw std::logic_error("this processor cannot run that kernel");
    Chosen() = v.kernel;
    return;
  }
  throw std::logic_error("no such kernel");
}

void RoundTurnByTurn(ImpactModel& impact, const ModelState& model, std::span<ImpactVector> impacts,
                     std::span<SourceCount> sources) {
  const int side = model.GridSide();
  for (int y = 1; y <= side; ++y) {
    for (int x = 1; x <= side; ++x) {
      const auto i = static_cast<std::size_t>((y - 1) * side + (x - 1));
      impacts[i][1] = 0.0;
      impacts[i][2] = 0.0;
      impact.ComputeImpact(model, x, y, impacts[i], sources[i]);
    }
  }
}

}  // namespace impactsim
