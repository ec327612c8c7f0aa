#include "programs/programs.h"

#include "impact/torus_impact.h"

namespace impactsim {

const ProgramProfile& KestaneProgram() {
  static const ProgramProfile profile{
      .Name = "kestane",
      .GridSide = 20,
      .HasEdge = false,
      .HasWideScope = false,
      .HasRemoveSelf = false,
      .RedrawStrengthsOnChange = false,
      .Defaults = {.Rounds = 50,
                   .InitialShare = 0.3,
                   .Distance = DistancePar::Two,
                   .Edge = false,
                   .WideScope = false,
                   .RemoveSelf = false,
                   .SummationM = false,
                   .RandomSeq = true,
                   .Side = 20,
                   .Scope = {},
                   .InitialCount = -1,
                   .Strengths = {},
                   .Noise = 0.0,
                   .Opinions = 2,
                   .InitialShares = {},
                   .Start = {}},
      .MakeImpactModel = &MakeTorusImpact,
  };
  return profile;
}

}  // namespace impactsim
