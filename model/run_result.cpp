#include "model/run_result.h"

#include <utility>

namespace impactsim {

std::string StopReasons::Text() const {
  std::string text;
  for (const auto& [fired, name] : {std::pair{Rounds, "rounds"}, std::pair{Quiet, "quiet"},
                                    std::pair{Unanimity, "unanimity"}, std::pair{Cycle, "cycle"}}) {
    if (!fired) continue;
    if (!text.empty()) text += '+';
    text += name;
  }
  return text;
}

}  // namespace impactsim
