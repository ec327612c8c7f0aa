#include "sweep/run_columns.h"

#include <algorithm>
#include <deque>
#include <iterator>
#include <string>
#include <vector>

#include "sweep/setting_options.h"

namespace impactsim {

namespace {

constexpr Column kTaskColumns[] = {
    {"task", "task number in the whole sweep, 0-based, in the order the tasks are listed"},
    {"program", "halvorn or kestane"},
    {"seed", "the time of day in milliseconds the run's clock returns (impactsim run --seed)"},
};

static_assert(std::size(kTaskColumns) == kTaskColumnCount);

const RunColumn kRunColumns[] = {
    {{"rounds_run", "rounds the run made"}, &RowResult::RoundsRun},
    {{"stop",
      "what held after the last round, joined by '+': rounds (the rounds setting reached), "
      "quiet (no change in the last two rounds), unanimity (one opinion holds every cell), "
      "cycle (the pattern repeats with a period of 2 or more: the round limit or "
      "--stop-on-cycle ended the run inside the cycle)"},
     &RowResult::Stop},
    {{"opinion1_start", "cells of opinion 1 when the run started"}, &RowResult::Opinion1Start},
    {{"opinion2_start", "cells of opinion 2 when the run started"}, &RowResult::Opinion2Start},
    {{"opinion1_end", "cells of opinion 1 at the end"}, &RowResult::Opinion1End},
    {{"opinion2_end", "cells of opinion 2 at the end"}, &RowResult::Opinion2End},
    {{"minority_share_end",
      "opinion2_end divided by the number of cells: the final share of the initial minority"},
     &RowResult::MinorityShare},
    {{"clusters_end",
      "connected groups of cells of one opinion at the end, through the four side neighbours, "
      "across the edges where the grid wraps"},
     &RowResult::Clusters},
    {{"like_neighbours_end",
      "mean over all cells of the share of a cell's side neighbours holding its opinion, at the "
      "end (a border cell of a bounded grid has 2 or 3 side neighbours)"},
     &RowResult::LikeNeighbours},
    {{"period",
      "of the opinion pattern: the smallest p from 1 to 64 such that every cell's opinion after "
      "the last round equals its opinion p rounds earlier, or 1 when one opinion holds every "
      "cell; 0 if there is none (1: the run came to rest, 2 or more: its pattern repeats, 0: "
      "still changing when the round limit ended it)"},
     &RowResult::Period},
    {{"cycle_start",
      "the first round from which the pattern repeats with that period, for a run at rest its "
      "last change (empty when period is 0)"},
     &RowResult::CycleStart},
    {{"last_change_round", "the last round in which a cell changed its opinion; 0 if none did"},
     &RowResult::LastChangeRound},
    {{"total_changes", "opinion changes over the whole run"}, &RowResult::TotalChanges},
    {{"clusters_start", "clusters_end for the population the run started from"},
     &RowResult::ClustersStart},
    {{"like_neighbours_start", "like_neighbours_end for the population the run started from"},
     &RowResult::LikeNeighboursStart},
    {{"minority_clusters_start", "connected groups of opinion-2 cells when the run started"},
     &RowResult::MinorityClustersStart},
    {{"minority_clusters_end", "connected groups of opinion-2 cells at the end"},
     &RowResult::MinorityClustersEnd},
    {{"largest_minority_cluster_start",
      "cells in the largest group of opinion-2 cells when the run started; 0 if none"},
     &RowResult::LargestMinorityClusterStart},
    {{"largest_minority_cluster_end", "cells in the largest group of opinion-2 cells at the end"},
     &RowResult::LargestMinorityClusterEnd},
    {{"mean_minority_cluster_size_start",
      "opinion2_start divided by minority_clusters_start (empty when there is no such group)"},
     &RowResult::MeanMinorityClusterSizeStart},
    {{"mean_minority_cluster_size_end", "opinion2_end divided by minority_clusters_end"},
     &RowResult::MeanMinorityClusterSizeEnd},
    {{"minority_persuasiveness_start",
      "mean persuasiveness of the opinion-2 cells when the run started (empty when there are "
      "none; drawn in kestane too, whose model never reads it)"},
     &RowResult::MinorityPersuasivenessStart},
    {{"minority_persuasiveness_end", "mean persuasiveness of the opinion-2 cells at the end"},
     &RowResult::MinorityPersuasivenessEnd},
    {{"minority_supportiveness_start",
      "mean supportiveness of the opinion-2 cells when the run started"},
     &RowResult::MinoritySupportivenessStart},
    {{"minority_supportiveness_end", "mean supportiveness of the opinion-2 cells at the end"},
     &RowResult::MinoritySupportivenessEnd},
    {{"majority_persuasiveness_start",
      "mean persuasiveness of the opinion-1 cells when the run started (empty when there are "
      "none)"},
     &RowResult::MajorityPersuasivenessStart},
    {{"majority_persuasiveness_end", "mean persuasiveness of the opinion-1 cells at the end"},
     &RowResult::MajorityPersuasivenessEnd},
    {{"majority_supportiveness_start",
      "mean supportiveness of the opinion-1 cells when the run started"},
     &RowResult::MajoritySupportivenessStart},
    {{"majority_supportiveness_end", "mean supportiveness of the opinion-1 cells at the end"},
     &RowResult::MajoritySupportivenessEnd},
};

// Text kept for the program's whole life, for a Column's views.
std::string_view Kept(std::string text) {
  static std::deque<std::string> kept;
  return kept.emplace_back(std::move(text));
}

std::string OpinionName(std::size_t k) {
  return "opinion" + std::to_string(k);
}

// The columns after the others in a sweep of up to `opinions` opinions.
std::vector<RunColumn> OpinionColumnsOf(std::size_t opinions) {
  constexpr const char* kFewer = " (0 for a task of fewer opinions)";
  std::vector<RunColumn> columns;
  for (std::size_t k = 3; k <= opinions; ++k) {
    columns.push_back(
        {{Kept(OpinionName(k) + "_start"),
          Kept("cells of opinion " + std::to_string(k) + " when the run started" + kFewer)},
         OpinionEntry<std::int32_t>{&RowResult::CensusStart, k}});
  }
  for (std::size_t k = 3; k <= opinions; ++k) {
    columns.push_back({{Kept(OpinionName(k) + "_end"),
                        Kept("cells of opinion " + std::to_string(k) + " at the end" + kFewer)},
                       OpinionEntry<std::int32_t>{&RowResult::CensusEnd, k}});
  }
  for (std::size_t k = 1; k <= opinions; ++k) {
    columns.push_back({{Kept(OpinionName(k) + "_clusters_end"),
                        Kept("connected groups of opinion-" + std::to_string(k) +
                             " cells at the end, as clusters_end joins them" + kFewer)},
                       OpinionEntry<std::int64_t>{&RowResult::OpinionClustersEnd, k}});
  }
  columns.push_back({{"surviving_opinions_end", "opinions some cell holds at the end"},
                     &RowResult::SurvivingOpinionsEnd});
  columns.push_back({{"smallest_share_end",
                      "cells of the smallest opinion some cell holds at the end, divided by the "
                      "number of cells"},
                     &RowResult::SmallestShareEnd});
  return columns;
}

}  // namespace

std::span<const RunColumn> RunColumns(int opinions) {
  using Tables = std::array<std::vector<RunColumn>, kMaxOpinions + 1>;
  static const Tables tables = [] {
    Tables all;
    for (std::size_t k = 2; k < all.size(); ++k) {
      all[k].assign(std::begin(kRunColumns), std::end(kRunColumns));
      if (k == 2) continue;
      const std::vector<RunColumn> more = OpinionColumnsOf(k);
      all[k].insert(all[k].end(), more.begin(), more.end());
    }
    return all;
  }();
  return tables[static_cast<std::size_t>(std::clamp(opinions, 2, kMaxOpinions))];
}

// The task's columns, then one per setting shown, then the run's.
std::vector<Column> RowColumns(SettingColumns settings) {
  std::vector<Column> all(std::begin(kTaskColumns), std::end(kTaskColumns));
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    const SettingOption& s = SettingOptions()[i];
    if (Shows(settings, i)) all.push_back({s.Column, s.Meaning});
  }
  for (const RunColumn& c : RunColumns(OpinionColumns(settings))) all.push_back(c.Col);
  return all;
}

std::size_t SettingsColumnCount(SettingColumns settings) {
  std::size_t count = kTaskColumnCount;
  for (std::size_t i = 0; i < kSettingCount; ++i) count += Shows(settings, i) ? 1u : 0u;
  return count;
}

}  // namespace impactsim
