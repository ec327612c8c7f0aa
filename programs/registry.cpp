#include <array>

#include "programs/programs.h"

namespace impactsim {

std::span<const ProgramProfile* const> Programs() {
  static const std::array<const ProgramProfile*, 2> programs = {&HalvornProgram(),
                                                                &KestaneProgram()};
  return programs;
}

const ProgramProfile* ProgramNamed(std::string_view name) {
  for (const ProgramProfile* p : Programs()) {
    if (p->Name == name) return p;
  }
  return nullptr;
}

}  // namespace impactsim
