#pragma once
// The two programs with their impact model swapped for the plain reference
// model; everything else is the program's own data.

#include "model/program_profile.h"

namespace impactsim::reference {

const ProgramProfile& ReferenceHalvornProgram();
const ProgramProfile& ReferenceKestaneProgram();

}  // namespace impactsim::reference
