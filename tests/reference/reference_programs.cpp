#include "tests/reference/reference_programs.h"

#include "programs/programs.h"
#include "tests/reference/reference_impact.h"

namespace impactsim::reference {

namespace {

ProgramProfile WithImpactModel(const ProgramProfile& program,
                               std::unique_ptr<ImpactModel> (*make)()) {
  ProgramProfile profile = program;
  profile.MakeImpactModel = make;
  return profile;
}

}  // namespace

const ProgramProfile& ReferenceHalvornProgram() {
  static const ProgramProfile profile = WithImpactModel(HalvornProgram(), &MakeReferenceRingImpact);
  return profile;
}

const ProgramProfile& ReferenceKestaneProgram() {
  static const ProgramProfile profile =
      WithImpactModel(KestaneProgram(), &MakeReferenceTorusImpact);
  return profile;
}

}  // namespace impactsim::reference
