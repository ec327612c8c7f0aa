#include "sweep/setting_checks.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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

std::string OpinionsText(int opinions) {
  return Ref("opinions") + " " + std::to_string(opinions);
}

// Initial shares of two opinions written as the share of opinion 2.
void SharesAsDist(std::vector<std::string>& shares, std::vector<std::string>& dists) {
  if (shares.empty() || std::any_of(shares.begin(), shares.end(), [](const std::string& v) {
        return v.find(':') != v.rfind(':');
      }))
    return;
  dists.clear();
  for (const std::string& value : shares) dists.push_back(value.substr(value.find(':') + 1));
  shares.clear();
}

// Refuses a start population holding an opinion above the run's: the first
// such cell, by its line (its row) and column in the file, or as the
// opinions' array indexes it, [y - 1, x - 1].
void CheckStartOpinions(const RunSettings& settings, const std::string& startFile) {
  if (!settings.Start) return;
  const std::vector<std::uint8_t>& opinions = settings.Start->Opinions;
  const auto above = std::find_if(opinions.begin(), opinions.end(),
                                  [&](std::uint8_t o) { return o > settings.Opinions; });
  if (above == opinions.end()) return;
  const auto cell = static_cast<std::size_t>(above - opinions.begin());
  const auto side = static_cast<std::size_t>(settings.Start->Side);
  const std::string range = "1.." + std::to_string(settings.Opinions) + " (" +
                            OpinionsText(settings.Opinions) + "), got ";
  if (startFile.empty()) {
    throw InputError("start", "opinions expects values " + range + std::to_string(*above) +
                                  " at [" + std::to_string(cell / side) + ", " +
                                  std::to_string(cell % side) + "]");
  }
  throw InputError("start", startFile + " line " + std::to_string(cell / side + 1) +
                                ": expects opinions " + range +
                                Quoted(std::string(1, OpinionChar(*above))) + " in column " +
                                std::to_string(cell % side + 1));
}

}  // namespace

void CheckRunSettings(const ProgramProfile& program, const RunSettings& settings,
                      const std::string& startFile) {
  const int side = GridSideOf(program, settings);
  const std::int64_t cells = static_cast<std::int64_t>(side) * side;
  if (settings.InitialCount > cells) {
    throw InputError("initial_count", "expects at most the " + std::to_string(cells) +
                                          " cells of the grid (side " + std::to_string(side) +
                                          "), got " + std::to_string(settings.InitialCount));
  }
  const int opinions = settings.Opinions;
  if (opinions > 2 && settings.InitialCount >= 0) {
    throw InputError("initial_count",
                     "applies to two opinions only, got " + OpinionsText(opinions));
  }
  const std::size_t shares = settings.InitialShares.size();
  if (shares != 0 && shares != settings.Opinions) {
    throw InputError("initial_shares",
                     "expects one share per opinion, " + std::to_string(opinions) + " for " +
                         OpinionsText(opinions) + ", got " + std::to_string(shares));
  }
  CheckStartOpinions(settings, startFile);
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

void ResolveShares(RunSettings& settings, bool initialDistGiven) {
  if (initialDistGiven && !settings.InitialShares.empty()) {
    throw InputError("initial_dist", "cannot be combined with " + Ref("initial_shares"));
  }
  if (initialDistGiven && settings.Opinions > 2) {
    throw InputError("initial_dist", "applies to two opinions only, got " +
                                         OpinionsText(settings.Opinions) + ": give " +
                                         Ref("initial_shares"));
  }
  if (settings.Opinions == 2 && settings.InitialShares.size() == 2) {
    settings.InitialShare = settings.InitialShares[1];
    settings.InitialShares.clear();
  }
}

void ResolveShares(SweepPlan& plan) {
  std::vector<std::string>& shares = plan.Values[IndexOf("initial_shares")];
  std::vector<std::string>& dists = plan.Values[IndexOf("initial_dist")];
  const std::vector<std::string>& opinions = plan.Values[IndexOf("opinions")];
  const auto many =
      std::find_if(opinions.begin(), opinions.end(), [](const std::string& v) { return v != "2"; });
  if (!dists.empty() && !shares.empty()) {
    throw InputError("initial_dist", "cannot be combined with " + Ref("initial_shares"));
  }
  if (many != opinions.end()) {
    if (!dists.empty()) {
      throw InputError("initial_dist", "applies to two opinions only, got " + Ref("opinions") +
                                           " " + *many + ": give " + Ref("initial_shares"));
    }
    return;
  }
  // Shares of another number than two are refused with the combinations.
  SharesAsDist(shares, dists);
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
       {"side", "scope", "edge", "wide_scope", "distance", "initial_count", "strengths", "start",
        "opinions", "initial_shares"}) {
    const std::size_t i = IndexOf(column);
    combinations.Values[i] = plan.Values[i];
  }
  combinations.Starts = plan.Starts;
  combinations.Seeds.Append(0, 0);
  const std::uint64_t count = combinations.TaskCount();
  for (std::uint64_t n = 0; n < count; ++n) {
    SweepTask task = combinations.Task(n);
    // As "impactsim run --start" refuses the file for this task's settings.
    std::string startFile;
    if (auto start = std::exchange(task.Settings.Start, nullptr)) {
      std::size_t v = 0;
      while (plan.Starts[v].Population != start) ++v;
      startFile = Quoted(plan.Values[kStartSetting][v]);
      SetStart(*task.Program, std::move(start), startFile, "start", task.Settings);
    }
    CheckRunSettings(*task.Program, task.Settings, startFile);
  }
}

}  // namespace impactsim
