// Which run columns can come from one run of a task: the checks a row read
// back from a file must pass before --resume keeps it.

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "model/cycle_watch.h"
#include "model/grid.h"
#include "sweep/sweep_rows.h"

namespace impactsim {

namespace {

// Whether `value` is exactly the quotient of a whole number in 0..most by
// `count`, as the measures compute their means: one division of a whole sum.
bool WholeOver(double value, std::int64_t count, std::int64_t most) {
  if (count <= 0 || !(value >= 0.0)) return false;  // NaN fails too
  const double scaled = value * static_cast<double>(count);
  if (!(scaled <= static_cast<double>(most) + 0.5)) return false;
  const std::int64_t whole = std::llround(scaled);
  return whole <= most && static_cast<double>(whole) / static_cast<double>(count) == value;
}

// A mean strength: present exactly when cells hold the opinion, and the sum
// of that many strengths (each 0..kStrengthValues - 1) divided by their
// number.
bool MeanFits(const std::optional<double>& mean, std::int32_t cells) {
  if (!mean) return cells == 0;
  return WholeOver(*mean, cells, std::int64_t{kStrengthValues - 1} * cells);
}

// The cells of opinions 3..`opinions` in a census: each 0..cells, and 0 for
// opinions above `opinions`; -1 for any other.
std::int64_t OtherCells(const Census& census, int opinions, std::int32_t cells) {
  std::int64_t others = 0;
  for (std::size_t k = 3; k < census.size(); ++k) {
    const std::int32_t held = census[k];
    if (held < 0 || held > cells || (static_cast<int>(k) > opinions && held != 0)) return -1;
    others += held;
  }
  return others;
}

// A census of `one`, `two` and `others` cells of opinions 1, 2 and above.
bool CensusFits(std::int32_t one, std::int32_t two, std::int64_t others, std::int32_t cells) {
  return one >= 0 && two >= 0 && others >= 0 && one <= cells && two <= cells &&
         one + two + others == cells;
}

// One opinion in every cell: 1, 2, or one of those above (`above`).
bool Unanimous(std::int32_t one, std::int32_t two, const Census& above, std::int32_t cells) {
  return one == cells || two == cells || std::ranges::find(above, cells) != above.end();
}

// The columns of a sweep of more than two opinions against the end census:
// each opinion's groups (at least one exactly when it holds cells, at most
// its cells, none beyond the task's opinions) add up to all groups and to
// those of opinion 2, and the opinions held and the smallest one's share
// are those of the census.
bool OpinionColumnsFit(const RowResult& r, int opinions, std::int32_t cells) {
  std::int64_t clusters = 0;
  std::int32_t surviving = 0;
  std::int32_t smallest = 0;
  for (std::size_t k = 1; k < r.CensusEnd.size(); ++k) {
    const std::int32_t held = k == 1 ? r.Opinion1End : k == 2 ? r.Opinion2End : r.CensusEnd[k];
    const std::int64_t groups = r.OpinionClustersEnd[k];
    if (groups < 0 || groups > held || (groups == 0) != (held == 0)) return false;
    if (static_cast<int>(k) > opinions && held != 0) return false;
    clusters += groups;
    if (held == 0) continue;
    ++surviving;
    if (smallest == 0 || held < smallest) smallest = held;
  }
  return clusters == r.Clusters && r.OpinionClustersEnd[2] == r.MinorityClustersEnd &&
         surviving == r.SurvivingOpinionsEnd &&
         r.SmallestShareEnd == static_cast<double>(smallest) / static_cast<double>(cells);
}

// The measures of one population against its census (`one`, `two` cells of
// opinion 1 and 2, `others` of the opinions above 2; `unanimous`: one of
// them holds every cell). One opinion everywhere is the only population that
// forms a single group, or in which every side neighbour is alike: the grid
// is connected.
bool MeasuresFit(std::int32_t one, std::int32_t two, std::int64_t others, bool unanimous,
                 std::int64_t clusters, double like, std::int64_t minorityClusters,
                 std::int64_t largest, const std::optional<double>& meanSize,
                 const std::optional<double>& minorityP, const std::optional<double>& minorityS,
                 const std::optional<double>& majorityP, const std::optional<double>& majorityS) {
  const std::int64_t cells = one + two + others;
  // The counts within the cells before any arithmetic on them: a file may
  // hold any 64-bit value.
  if (clusters < 1 || clusters > cells || minorityClusters < 0 || minorityClusters > two ||
      largest < 0 || largest > two) {
    return false;
  }
  // The groups of every opinion but 2.
  const std::int64_t otherClusters = clusters - minorityClusters;
  const bool groups = (clusters == 1) == unanimous && (minorityClusters == 0) == (two == 0) &&
                      otherClusters >= (one > 0 ? 1 : 0) + (others > 0 ? 1 : 0) &&
                      (otherClusters == 0) == (one + others == 0) && otherClusters <= one + others;
  const bool largestFits =
      (two == 0 && largest == 0) || (largest >= 1 && largest * minorityClusters >= two);
  const bool meanFits =
      minorityClusters == 0
          ? !meanSize.has_value()
          : meanSize == static_cast<double>(two) / static_cast<double>(minorityClusters);
  return groups && largestFits && meanFits &&
         LikeShareFits(like, static_cast<std::int32_t>(cells)) && (like == 1.0) == unanimous &&
         MeanFits(minorityP, two) && MeanFits(minorityS, two) && MeanFits(majorityP, one) &&
         MeanFits(majorityS, one);
}

}  // namespace

bool LikeShareFits(double share, std::int32_t cells) {
  return WholeOver(share, 12 * std::int64_t{cells}, 12 * std::int64_t{cells});
}

bool ResultFitsTask(const RowResult& r, const SweepTask& task) {
  const std::int32_t cells = task.Cells();
  const std::int32_t rounds = task.Settings.Rounds;
  const int opinions = task.Settings.Opinions;
  // Opinions 3.. have columns only in a sweep of more than two opinions.
  const bool columns = OpinionColumns(task.Columns) > 2;
  if (opinions > OpinionColumns(task.Columns)) return false;
  const std::int64_t othersStart = OtherCells(r.CensusStart, opinions, cells);
  const std::int64_t othersEnd = OtherCells(r.CensusEnd, opinions, cells);
  if (!CensusFits(r.Opinion1Start, r.Opinion2Start, othersStart, cells) ||
      !CensusFits(r.Opinion1End, r.Opinion2End, othersEnd, cells) ||
      (columns && !OpinionColumnsFit(r, opinions, cells))) {
    return false;
  }
  const bool unanimous = Unanimous(r.Opinion1End, r.Opinion2End, r.CensusEnd, cells);
  const bool stopFits = r.RoundsRun >= 1 && r.RoundsRun <= rounds && r.Stop.Any() &&
                        r.Stop.Rounds == (r.RoundsRun >= rounds) && r.Stop.Unanimity == unanimous;
  // The rounds within the setting before any arithmetic on them.
  if (!stopFits) return false;

  // The last round changed nothing exactly when the pattern repeats the one
  // before (period 1), from the round of the last change on; a run at rest
  // for two rounds stopped as quiet, and one that ended in unanimity is at
  // rest. A cycle of 2 or more is named when the round limit ended the run,
  // and can have ended it only when asked to.
  const bool rested =
      r.LastChangeRound < r.RoundsRun || (unanimous && task.Unanimity == UnanimityPeriod::AtRest);
  const bool cycleFits =
      r.Period >= 0 && r.Period <= CycleWatch::kLongestPeriod &&
      r.CycleStart.has_value() == (r.Period > 0) && (r.Period == 1) == rested &&
      (!r.CycleStart ||
       (*r.CycleStart >= 0 && (r.Period == 1 || *r.CycleStart <= r.RoundsRun - r.Period))) &&
      (r.Period != 1 || r.CycleStart == r.LastChangeRound) && (!r.Stop.Quiet || r.Period == 1) &&
      r.Stop.Cycle == (r.Period >= 2 && (r.Stop.Rounds || task.StopOnCycle > 0)) &&
      (!r.Stop.Cycle || r.Stop.Rounds ||
       r.RoundsRun - *r.CycleStart - r.Period + 1 >= std::int64_t{task.StopOnCycle} * r.Period);
  const bool changesFit = r.LastChangeRound >= 0 && r.LastChangeRound <= r.RoundsRun &&
                          r.TotalChanges >= 0 &&
                          r.TotalChanges <= std::int64_t{r.RoundsRun} * cells &&
                          (r.TotalChanges == 0) == (r.LastChangeRound == 0) &&
                          r.TotalChanges >= std::abs(r.Opinion2End - r.Opinion2Start);

  return cycleFits && changesFit &&
         r.MinorityShare == static_cast<double>(r.Opinion2End) / static_cast<double>(cells) &&
         MeasuresFit(r.Opinion1Start, r.Opinion2Start, othersStart,
                     Unanimous(r.Opinion1Start, r.Opinion2Start, r.CensusStart, cells),
                     r.ClustersStart, r.LikeNeighboursStart, r.MinorityClustersStart,
                     r.LargestMinorityClusterStart, r.MeanMinorityClusterSizeStart,
                     r.MinorityPersuasivenessStart, r.MinoritySupportivenessStart,
                     r.MajorityPersuasivenessStart, r.MajoritySupportivenessStart) &&
         MeasuresFit(r.Opinion1End, r.Opinion2End, othersEnd, unanimous, r.Clusters,
                     r.LikeNeighbours, r.MinorityClustersEnd, r.LargestMinorityClusterEnd,
                     r.MeanMinorityClusterSizeEnd, r.MinorityPersuasivenessEnd,
                     r.MinoritySupportivenessEnd, r.MajorityPersuasivenessEnd,
                     r.MajoritySupportivenessEnd);
}

}  // namespace impactsim
