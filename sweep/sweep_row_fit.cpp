// Which run columns can come from one run of a task: the checks a row read
// back from a file must pass before --resume keeps it.

#include <cstdlib>

#include "model/cycle_watch.h"
#include "sweep/sweep_rows.h"

namespace impactsim {

namespace {

// A mean strength: present exactly when cells hold the opinion, and in 0..100.
bool MeanFits(const std::optional<double>& mean, std::int32_t cells) {
  if (!mean) return cells == 0;
  return cells > 0 && *mean >= 0.0 && *mean <= 100.0;
}

// The measures of one population against its census (`one`, `two` cells of
// opinion 1 and 2). One opinion everywhere is the only population that forms
// a single group, or in which every side neighbour is alike: the grid is
// connected and holds opinions 1 and 2 only.
bool MeasuresFit(std::int32_t one, std::int32_t two, std::int64_t clusters, double like,
                 std::int64_t minorityClusters, std::int64_t largest,
                 const std::optional<double>& meanSize, const std::optional<double>& minorityP,
                 const std::optional<double>& minorityS, const std::optional<double>& majorityP,
                 const std::optional<double>& majorityS) {
  const std::int32_t cells = one + two;
  const bool unanimous = one == cells || two == cells;
  const std::int64_t majorityClusters = clusters - minorityClusters;
  const bool groups = clusters >= 1 && clusters <= cells && (clusters == 1) == unanimous &&
                      minorityClusters >= 0 && (minorityClusters == 0) == (two == 0) &&
                      majorityClusters >= 0 && (majorityClusters == 0) == (one == 0) &&
                      minorityClusters <= two && majorityClusters <= one;
  const bool largestFits = (two == 0 && largest == 0) ||
                           (largest >= 1 && largest <= two && largest * minorityClusters >= two);
  const bool meanFits =
      minorityClusters == 0
          ? !meanSize.has_value()
          : meanSize == static_cast<double>(two) / static_cast<double>(minorityClusters);
  return groups && largestFits && meanFits && like >= 0.0 && like <= 1.0 &&
         (like == 1.0) == unanimous && MeanFits(minorityP, two) && MeanFits(minorityS, two) &&
         MeanFits(majorityP, one) && MeanFits(majorityS, one);
}

}  // namespace

bool ResultFitsTask(const RowResult& r, const SweepTask& task) {
  const std::int32_t cells = task.Program->CellTotal;
  const std::int32_t rounds = task.Settings.Rounds;
  const auto census = [cells](std::int32_t one, std::int32_t two) {
    return one >= 0 && two >= 0 && one <= cells && two == cells - one;
  };
  if (!census(r.Opinion1Start, r.Opinion2Start) || !census(r.Opinion1End, r.Opinion2End)) {
    return false;
  }
  const bool unanimous = r.Opinion1End == cells || r.Opinion2End == cells;
  const bool stopFits = r.RoundsRun >= 1 && r.RoundsRun <= rounds && r.Stop.Any() &&
                        r.Stop.Rounds == (r.RoundsRun >= rounds) && r.Stop.Unanimity == unanimous;

  // The last round changed nothing exactly when the pattern repeats the one
  // before (period 1), from the round of the last change on; a run at rest
  // for two rounds stopped as quiet. A cycle of 2 or more is named when the
  // round limit ended the run, and can have ended it only when asked to.
  const bool rested = r.LastChangeRound < r.RoundsRun;
  const bool cycleFits =
      r.Period >= 0 && r.Period <= CycleWatch::kLongestPeriod &&
      r.CycleStart.has_value() == (r.Period > 0) && (r.Period == 1) == rested &&
      (!r.CycleStart || (*r.CycleStart >= 0 && *r.CycleStart <= r.RoundsRun - r.Period)) &&
      (r.Period != 1 || r.CycleStart == r.LastChangeRound) && (!r.Stop.Quiet || r.Period == 1) &&
      r.Stop.Cycle == (r.Period >= 2 && (r.Stop.Rounds || task.StopOnCycle > 0)) &&
      (!r.Stop.Cycle || r.Stop.Rounds ||
       r.RoundsRun - *r.CycleStart - r.Period + 1 >= std::int64_t{task.StopOnCycle} * r.Period);
  const bool changesFit = r.LastChangeRound >= 0 && r.LastChangeRound <= r.RoundsRun &&
                          r.TotalChanges >= 0 &&
                          r.TotalChanges <= std::int64_t{r.RoundsRun} * cells &&
                          (r.TotalChanges == 0) == (r.LastChangeRound == 0) &&
                          r.TotalChanges >= std::abs(r.Opinion2End - r.Opinion2Start);

  return stopFits && cycleFits && changesFit &&
         r.MinorityShare == static_cast<double>(r.Opinion2End) / static_cast<double>(cells) &&
         MeasuresFit(r.Opinion1Start, r.Opinion2Start, r.ClustersStart, r.LikeNeighboursStart,
                     r.MinorityClustersStart, r.LargestMinorityClusterStart,
                     r.MeanMinorityClusterSizeStart, r.MinorityPersuasivenessStart,
                     r.MinoritySupportivenessStart, r.MajorityPersuasivenessStart,
                     r.MajoritySupportivenessStart) &&
         MeasuresFit(
             r.Opinion1End, r.Opinion2End, r.Clusters, r.LikeNeighbours, r.MinorityClustersEnd,
             r.LargestMinorityClusterEnd, r.MeanMinorityClusterSizeEnd, r.MinorityPersuasivenessEnd,
             r.MinoritySupportivenessEnd, r.MajorityPersuasivenessEnd, r.MajoritySupportivenessEnd);
}

}  // namespace impactsim
