#include "reference_programs.h"

#include "halvorn_program.h"
#include "kestane_program.h"
#include "reference_impact.h"

namespace impactsim::reference {

namespace {

ProgramSpec WithImpactModel(const ProgramSpec& program, std::unique_ptr<ImpactModel> (*make)()) {
  ProgramSpec spec = program;
  spec.MakeImpactModel = make;
  return spec;
}

}  // namespace

const ProgramSpec& ReferenceHalvornProgram() {
  static const ProgramSpec spec = WithImpactModel(HalvornProgram(), &MakeReferenceRingImpact);
  return spec;
}

const ProgramSpec& ReferenceKestaneProgram() {
  static const ProgramSpec spec = WithImpactModel(KestaneProgram(), &MakeReferenceTorusImpact);
  return spec;
}

}  // namespace impactsim::reference
