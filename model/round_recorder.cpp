#include "model/round_recorder.h"

#include "model/spatial_measures.h"

namespace impactsim {

bool GridWraps(const ProgramProfile& program, const RunSettings& settings) {
  return !(program.HasEdge && settings.Edge);
}

void RoundRecorder::RunStarted(const Census& census) {
  pending_ = {0, 0, census[1], census[2], 0, 0.0, census};
}

void RoundRecorder::RoundClosed(std::int32_t roundNo, std::int32_t changes, const Census& census) {
  pending_ = {roundNo, changes, census[1], census[2], 0, 0.0, census};
}

void RoundRecorder::RoundPopulation(std::int32_t roundNo, const Grid& population) {
  if (roundNo == 0) start_ = population;
  if (!recordRounds_) return;
  const std::vector<std::uint8_t> opinions = OpinionsOf(population);
  const OpinionGrid grid{opinions, population.Side(), wrapped_};
  RoundPoint point = pending_;
  point.Round = roundNo;
  point.Clusters = CountClusters(grid);
  point.LikeNeighbours = LikeNeighbourShare(grid);
  Measured(point);
}

}  // namespace impactsim
