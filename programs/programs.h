#pragma once
// The two programs, each one table of data: grid, settings that exist,
// defaults and impact model.

#include <span>
#include <string_view>

#include "model/program_profile.h"

namespace impactsim {

// The 1990 model: a 40 x 40 grid with ring-shaped neighbourhoods.
const ProgramProfile& HalvornProgram();

// The 1994 model: a 20 x 20 torus on which everyone hears everyone.
const ProgramProfile& KestaneProgram();

// Every program, halvorn first.
std::span<const ProgramProfile* const> Programs();

// The program of that name, or null.
const ProgramProfile* ProgramNamed(std::string_view name);

}  // namespace impactsim
