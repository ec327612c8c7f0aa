#pragma once
#include "program_spec.h"

namespace impactsim {
// The 1994 model: a 20 x 20 torus on which everyone hears everyone.
const ProgramSpec& KestaneProgram();
}  // namespace impactsim
