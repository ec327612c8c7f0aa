#pragma once
// The two programs with their impact model swapped for the plain reference
// model; everything else is the program's own data.

#include "program_spec.h"

namespace impactsim::reference {

const ProgramSpec& ReferenceHalvornProgram();
const ProgramSpec& ReferenceKestaneProgram();

}  // namespace impactsim::reference
