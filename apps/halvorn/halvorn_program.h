#pragma once
#include "program_spec.h"

namespace impactsim {
// The 1990 model: a 40 x 40 grid with ring-shaped neighbourhoods.
const ProgramSpec& HalvornProgram();
}  // namespace impactsim
