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

std::int32_t RunResult::LastChangeRound() const {
  for (std::size_t r = Changes.size(); r > 0; --r) {
    if (Changes[r - 1] != 0) return static_cast<std::int32_t>(r);
  }
  return 0;
}

std::int64_t RunResult::TotalChanges() const {
  std::int64_t total = 0;
  for (const std::int32_t changes : Changes) total += changes;
  return total;
}

}  // namespace impactsim
