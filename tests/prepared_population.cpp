#include "tests/prepared_population.h"

#include <gtest/gtest.h>

#include <bit>
#include <span>

#include "impact/ring_impact.h"
#include "impact/round_kernels.h"
#include "impact/torus_impact.h"

namespace impactsim::testing {

std::string Describe(const RunSettings& s) {
  return "distance " + (s.Distance.Nb ? std::string("nb") : std::to_string(s.Distance.Power)) +
         " edge " + std::to_string(s.Edge) + " wide " + std::to_string(s.WideScope) +
         " removeSelf " + std::to_string(s.RemoveSelf) + " summation " +
         std::to_string(s.SummationM) + " randomSeq " + std::to_string(s.RandomSeq) + " dist " +
         std::to_string(s.InitialShare) + " noise " + std::to_string(s.Noise);
}

KernelChoice::KernelChoice(const char* name) {
  ForceRoundKernel(name);
}

KernelChoice::~KernelChoice() {
  ForceRoundKernel(nullptr);
}

PreparedPopulation::PreparedPopulation(const ProgramProfile& program,
                                       std::unique_ptr<ImpactModel> reference,
                                       const RunSettings& settings, std::uint32_t seed)
    : clock_(seed),
      settingsSource_(settings),
      simulation_(program, clock_, settingsSource_, observer_),
      engine_(program.MakeImpactModel()),
      certified_(program.MakeImpactModel()),
      reference_(std::move(reference)) {
  // engine_ on the kernels; certified_ as runs use it by default.
  if (auto* ring = dynamic_cast<RingImpact*>(engine_.get())) ring->UseCertifiedTurns(false);
  if (auto* torus = dynamic_cast<TorusImpact*>(engine_.get())) torus->UseCertifiedTurns(false);
  simulation_.DefaultValues();
  ModelState& model = simulation_.Model();
  model.SnapshotGrid = model.PopulationGrid;
  const int side = model.GridSide();
  for (int x = 1; x <= side; ++x) {
    for (int y = 1; y <= side; ++y) {
      const bool corner = (x == 1 || x == side) && (y == 1 || y == side);
      if (!corner && (x + 3 * y) % 17 != 0) continue;
      Cell& cell = model.PopulationGrid.At(x, y);
      cell.Opinion = static_cast<std::uint8_t>(3 - cell.Opinion);
      cell.Persuasiveness = static_cast<std::uint8_t>((cell.Persuasiveness + 37) % kStrengthValues);
      cell.Supportiveness = static_cast<std::uint8_t>((cell.Supportiveness + 53) % kStrengthValues);
    }
  }
  RunSettings prepared = settings;
  if (!program.HasEdge) prepared.Edge = false;
  engine_->Prepare(prepared, model);
  certified_->Prepare(prepared, model);
  reference_->Prepare(prepared, model);
}

void PreparedPopulation::ChangeCell(int x, int y) {
  Cell& cell = simulation_.Model().PopulationGrid.At(x, y);
  cell.Opinion = static_cast<std::uint8_t>(3 - cell.Opinion);
  cell.Persuasiveness = static_cast<std::uint8_t>((cell.Persuasiveness + 41) % kStrengthValues);
  cell.Supportiveness = static_cast<std::uint8_t>((cell.Supportiveness + 13) % kStrengthValues);
  engine_->CellChanged(Model(), x, y);
  certified_->CellChanged(Model(), x, y);
}

void PreparedPopulation::ChangeCellForNextRound(int x, int y) {
  ModelState& model = simulation_.Model();
  Cell& cell = model.PopulationGrid.At(x, y);
  cell.Opinion = static_cast<std::uint8_t>(3 - cell.Opinion);
  cell.Persuasiveness = static_cast<std::uint8_t>((cell.Persuasiveness + 29) % kStrengthValues);
  cell.Supportiveness = static_cast<std::uint8_t>((cell.Supportiveness + 71) % kStrengthValues);
  model.SnapshotGrid.At(x, y) = cell;
}

void PreparedPopulation::ExpectSameTurnsAhead(const std::vector<std::int32_t>& cells,
                                              std::int32_t turnsLeft, const std::string& context) {
  ExpectCertainChoices(context + " certified");
  std::vector<ImpactVector> impacts(cells.size(), ImpactVector{});
  std::vector<SourceCount> counts(cells.size(), SourceCount{});
  ASSERT_GT(engine_->TurnsAhead(), 0) << context;
  // The engine may work out fewer than asked, from the first: ask again
  // for the rest, as the run driver does.
  for (std::size_t done = 0; done < cells.size();) {
    const int worked =
        engine_->ComputeTurns(Model(), std::span(cells).subspan(done), turnsLeft,
                              std::span(impacts).subspan(done), std::span(counts).subspan(done));
    ASSERT_GE(worked, 1) << context;
    done += static_cast<std::size_t>(worked);
  }
  for (std::size_t j = 0; j < cells.size(); ++j) {
    const int x = cells[j] % Side() + 1;
    const int y = cells[j] / Side() + 1;
    ImpactVector expected{};
    SourceCount expectedCounts{};
    reference_->ComputeImpact(Model(), x, y, expected, expectedCounts);
    for (std::size_t o : {1u, 2u}) {
      EXPECT_EQ(std::bit_cast<std::uint64_t>(impacts[j][o]),
                std::bit_cast<std::uint64_t>(expected[o]))
          << context << " cell [" << x << ", " << y << "] opinion " << o;
      EXPECT_EQ(counts[j][o], expectedCounts[o]) << context << " cell [" << x << ", " << y << "]";
    }
  }
}

// The opinion the update rule picks from the reference's totals without a
// draw, or 0 where the greatest total is tied.
std::uint8_t PreparedPopulation::ReferenceChoice(int x, int y) {
  ImpactVector totals{};
  SourceCount counts{};
  reference_->ComputeImpact(Model(), x, y, totals, counts);
  if (totals[1] == totals[2]) return 0;
  return totals[1] > totals[2] ? 1 : 2;
}

// The per-turn code's impacts at [x, y] lie in the certified intervals.
void PreparedPopulation::ExpectIntervalsHold(int x, int y, const std::string& context) {
  std::array<RunningImpact, 2> reads{};
  double halfWidth = 0.0;
  if (const auto* ring = dynamic_cast<const RingImpact*>(certified_.get())) {
    reads = ring->Running().Reads(Model().PopulationGrid.At(x, y), x, y);
    halfWidth = ring->Running().HalfWidth();
  } else if (const auto* torus = dynamic_cast<const TorusImpact*>(certified_.get())) {
    reads = torus->Running().Reads(x, y);
    halfWidth = torus->Running().HalfWidth();
  } else {
    return;
  }
  ImpactVector totals{};
  SourceCount counts{};
  reference_->ComputeImpact(Model(), x, y, totals, counts);
  const bool summationM = settingsSource_.CurrentSettings().SummationM;
  for (std::size_t o : {1u, 2u}) {
    EXPECT_EQ(reads[o - 1].sources, counts[o]) << context << " cell [" << x << ", " << y << "]";
    EXPECT_TRUE(IntervalHolds(reads[o - 1], halfWidth, summationM, totals[o]))
        << context << " cell [" << x << ", " << y << "] opinion " << o << ": running "
        << reads[o - 1].total << " +- " << halfWidth << ", per-turn impact " << totals[o];
  }
}

int PreparedPopulation::ExpectCertainChoices(const std::string& context) {
  if (!certified_->CertifiesTurns()) return -1;
  // A simultaneous round's answers come together, from the snapshot: where
  // a cell of the population still shows the snapshot's (as every cell does
  // at its turn in a run), they must be CertainGreatest's.
  const bool simultaneous = !settingsSource_.CurrentSettings().RandomSeq;
  std::vector<std::uint8_t> round(static_cast<std::size_t>(Side() * Side()));
  if (simultaneous) certified_->RoundStarts(Model(), round);
  int certain = 0, wrong = 0;
  for (int y = 1; y <= Side(); ++y) {
    for (int x = 1; x <= Side(); ++x) {
      ExpectIntervalsHold(x, y, context);
      const std::uint8_t named = certified_->CertainGreatest(Model(), x, y);
      const std::size_t i = Model().PopulationGrid.Index(x, y);
      if (simultaneous && Model().PopulationGrid.Data()[i] == Model().SnapshotGrid.Data()[i]) {
        EXPECT_EQ(round[i], named) << context << " cell [" << x << ", " << y << "]";
      }
      if (named == 0) continue;
      ++certain;
      const std::uint8_t expected = ReferenceChoice(x, y);
      if (named != expected && ++wrong <= 3) {
        ADD_FAILURE() << context << " cell [" << x << ", " << y << "]: certified " << int{named}
                      << ", per-turn code " << int{expected} << " (0: a tie)";
      }
    }
  }
  EXPECT_EQ(wrong, 0) << context;
  return certain;
}

void PreparedPopulation::ExpectSameRound(const std::string& context) {
  ExpectCertainChoices(context + " certified");
  const auto cells = static_cast<std::size_t>(Side() * Side());
  std::vector<ImpactVector> impacts(cells, ImpactVector{});
  std::vector<SourceCount> counts(cells, SourceCount{});
  ASSERT_TRUE(engine_->ComputesRounds()) << context;
  engine_->ComputeRound(Model(), impacts, counts);
  int differing = 0;
  for (int y = 1; y <= Side(); ++y) {
    for (int x = 1; x <= Side(); ++x) {
      ImpactVector expected{};
      SourceCount expectedCounts{};
      reference_->ComputeImpact(Model(), x, y, expected, expectedCounts);
      const auto i = static_cast<std::size_t>((y - 1) * Side() + (x - 1));
      for (std::size_t o : {1u, 2u}) {
        if (std::bit_cast<std::uint64_t>(impacts[i][o]) !=
                std::bit_cast<std::uint64_t>(expected[o]) ||
            counts[i][o] != expectedCounts[o]) {
          if (++differing <= 3) {
            ADD_FAILURE() << context << " cell [" << x << ", " << y << "] opinion " << o
                          << ": round " << impacts[i][o] << " (" << counts[i][o]
                          << " sources), reference " << expected[o] << " (" << expectedCounts[o]
                          << ")";
          }
        }
      }
    }
  }
  EXPECT_EQ(differing, 0) << context;
}

int PreparedPopulation::ExpectSameImpact(int x, int y, const std::string& context) {
  ImpactVector engineImpact{}, referenceImpact{};
  SourceCount engineSources, referenceSources;
  engineSources.fill(-1);
  referenceSources.fill(-1);
  engine_->ComputeImpact(Model(), x, y, engineImpact, engineSources);
  reference_->ComputeImpact(Model(), x, y, referenceImpact, referenceSources);
  for (std::size_t o = 0; o < engineImpact.size(); ++o) {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(engineImpact[o]),
              std::bit_cast<std::uint64_t>(referenceImpact[o]))
        << context << " cell [" << x << ", " << y << "] opinion " << o << ": engine "
        << engineImpact[o] << ", reference " << referenceImpact[o];
  }
  EXPECT_EQ(engineSources, referenceSources) << context << " cell [" << x << ", " << y << "]";
  return engineSources[1] + engineSources[2];
}

}  // namespace impactsim::testing
