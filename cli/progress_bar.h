#pragma once
// The progress of a sweep on a terminal: runs done of all, runs per second
// and the time left.

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>

namespace impactsim::cli {

// The progress line: runs done of total, runs per second and time left.
std::string ProgressText(std::uint64_t done, std::uint64_t total, double seconds);

// The progress line redrawn in place at most ten times a second; draws
// nothing when given no stream.
class ProgressBar {
 public:
  ProgressBar(std::ostream* err, std::uint64_t total) : err_(err), total_(total) {}

  void Update(std::uint64_t done);
  // Ends the line, if one was drawn.
  void Finish();

 private:
  std::ostream* err_;
  std::uint64_t total_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point lastDraw_{};
  bool drawn_ = false;
};

}  // namespace impactsim::cli
