#pragma once
// What distinguishes one program from the other, as one table of data: the
// engine, the headless runner and the windows read it instead of asking which
// program they are.

#include <cstdint>
#include <memory>
#include <string_view>

#include "model/impact_model.h"
#include "model/run_settings.h"

namespace impactsim {

struct ProgramProfile {
  std::string_view Name;                // "halvorn" or "kestane"
  int GridSide;                         // cells along each side (a run may set another)
  int CellTotal = GridSide * GridSide;  // follows from GridSide: never set in a table
  bool HasEdge;                         // "Edge" exists (otherwise the grid is always a torus)
  bool HasWideScope;                    // "Wide Scope" exists (ring neighbourhood scope)
  bool HasRemoveSelf;                   // "Remove Self" exists
  bool RedrawStrengthsOnChange;         // a cell that changes its opinion draws new strengths
  RunSettings Defaults;                 // the selections the window opens with
  std::unique_ptr<ImpactModel> (*MakeImpactModel)();
  // Ring neighbourhoods only (HasWideScope): the scope a population is built
  // with, and the one it is built with when "Wide Scope" is ticked.
  RingScope Scope{};
  RingScope WideScope{};
};

// The ring scope a run of the program with these settings has (ring
// programs only): its own, or the program's by the Wide Scope switch.
inline const RingScope& ScopeOf(const ProgramProfile& program, const RunSettings& settings) {
  return settings.Scope ? *settings.Scope : settings.WideScope ? program.WideScope : program.Scope;
}

// The side of the grid a run of the program with these settings has.
inline int GridSideOf(const ProgramProfile& program, const RunSettings& settings) {
  return settings.Side == 0 ? program.GridSide : settings.Side;
}

}  // namespace impactsim
