#include "kestane_program.h"

#include "torus_impact.h"

namespace impactsim {

const ProgramSpec& KestaneProgram() {
  static const ProgramSpec spec{
      .Name = "kestane",
      .GridSide = 20,
      .CellTotal = 400,
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
  return spec;
}

}  // namespace impactsim
