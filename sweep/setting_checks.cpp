#include "sweep/setting_checks.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "impact/ring_impact.h"
#include "sweep/input_error.h"
#include "sweep/setting_options.h"
#include "sweep/start_file.h"
#include "sweep/text_escape.h"

namespace impactsim {

namespace {

std::size_t IndexOf(std::string_view column) {
  const auto& table = SettingOptions();
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (table[i].Column == column) return i;
  }
  return table.size();
}

// "off" or "on": the wide-scope value whose scope is `value` in every ring
// program of the plan, if there is one.
std::optional<std::string> WideScopeOf(const SweepPlan& plan, const std::string& value) {
  std::optional<std::string> wide;
  for (const ProgramProfile* p : plan.Programs) {
    if (!p->HasWideScope) continue;
    const std::string here = value == ScopeText(p->Scope)       ? "off"
                             : value == ScopeText(p->WideScope) ? "on"
                                                                : "";
    if (here.empty() || (wide && *wide != here)) return std::nullopt;
    wide = here;
  }
  return wide;
}

}  // namespace

void CheckRunSettings(const ProgramProfile& program, const RunSettings& settings) {
  const int side = GridSideOf(program, settings);
  const std::int64_t cells = static_cast<std::int64_t>(side) * side;
  if (settings.InitialCount > cells) {
    throw InputError("initial_count", "expects at most the " + std::to_string(cells) +
                                          " cells of the grid (side " + std::to_string(side) +
                                          "), got " + std::to_string(settings.InitialCount));
  }
  if (settings.Strengths.Draw == StrengthDraw::Given && !settings.Start) {
    throw InputError("strengths",
                     "file takes the strengths from a start population, and none is given");
  }
  if (!program.HasWideScope || (program.HasEdge && settings.Edge)) return;
  const RingScope& scope = ScopeOf(program, settings);
  const int reach = RingReach(scope, settings.Distance);
  if (!RingTorusFits(side, reach)) {
    const std::string scopeText = ScopeText(scope);
    throw InputError(settings.Scope ? "scope" : "side",
                     "on a torus of side " + std::to_string(side) + " the neighbourhood " +
                         scopeText + " reaches " + std::to_string(reach) +
                         " cells along a row, and must stay below half the side: give a side "
                         "of at least " +
                         std::to_string(2 * reach + 1) + " or a smaller " + Ref("scope"));
  }
}

void ResolveScopes(SweepPlan& plan) {
  const std::size_t scope = IndexOf("scope");
  const std::size_t wide = IndexOf("wide_scope");
  std::vector<std::string>& scopes = plan.Values[scope];
  if (scopes.empty()) return;
  if (!plan.Values[wide].empty()) {
    throw InputError("scope", "cannot be combined with " + Ref("wide_scope"));
  }
  std::vector<std::string> wides;
  for (const std::string& value : scopes) {
    const auto w = WideScopeOf(plan, value);
    if (!w) return;
    wides.push_back(*w);
  }
  plan.Values[wide] = wides;
  scopes.clear();
}

void CheckSettingCombinations(const SweepPlan& plan) {
  // Only the lists the checks read vary; every other setting keeps one value.
  SweepPlan combinations;
  combinations.Programs = plan.Programs;
  for (const std::string_view column :
       {"side", "scope", "edge", "wide_scope", "distance", "initial_count", "strengths", "start"}) {
    const std::size_t i = IndexOf(column);
    combinations.Values[i] = plan.Values[i];
  }
  combinations.Starts = plan.Starts;
  combinations.Seeds.Append(0, 0);
  const std::uint64_t count = combinations.TaskCount();
  for (std::uint64_t n = 0; n < count; ++n) {
    SweepTask task = combinations.Task(n);
    // As "impactsim run --start" refuses the file for this task's settings.
    if (auto start = std::exchange(task.Settings.Start, nullptr)) {
      std::size_t v = 0;
      while (plan.Starts[v].Population != start) ++v;
      SetStart(*task.Program, std::move(start), Quoted(plan.Values[kStartSetting][v]), "start",
               task.Settings);
    }
    CheckRunSettings(*task.Program, task.Settings);
  }
}

}  // namespace impactsim
