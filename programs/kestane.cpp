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
                   .InitialDistIndex = 1,
                   .Distance = DistancePar::Two,
                   .Edge = false,
                   .WideScope = false,
                   .RemoveSelf = false,
                   .SummationM = false,
                   .RandomSeq = true},
      .MakeImpactModel = &MakeTorusImpact,
  };
  return profile;
}

}  // namespace impactsim
