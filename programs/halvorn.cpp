#include "programs/programs.h"

#include "impact/ring_impact.h"

namespace impactsim {

const ProgramProfile& HalvornProgram() {
  static const ProgramProfile profile{
      .Name = "halvorn",
      .GridSide = 40,
      .HasEdge = true,
      .HasWideScope = true,
      .HasRemoveSelf = true,
      .RedrawStrengthsOnChange = true,
      .Defaults = {.Rounds = 500,
                   .InitialShare = 0.3,
                   .Distance = DistancePar::Two,
                   .Edge = true,
                   .WideScope = false,
                   .RemoveSelf = false,
                   .SummationM = false,
                   .RandomSeq = false,
                   .Side = 40,
                   .Scope = {},
                   .InitialCount = -1,
                   .Strengths = {},
                   .Noise = 0.0,
                   .Opinions = 2,
                   .InitialShares = {},
                   .Start = {}},
      .MakeImpactModel = &MakeRingImpact,
      .Scope = {.Radius = 17, .Distance = 10.0},
      .WideScope = {.Radius = 29, .Distance = 19.0},
  };
  return profile;
}

}  // namespace impactsim
