#include "cli/progress_bar.h"

#include <cmath>
#include <cstdio>
#include <ostream>

namespace impactsim::cli {

namespace {

std::string ClockText(std::uint64_t seconds) {
  char text[32];
  const auto h = static_cast<unsigned long long>(seconds / 3600);
  const auto m = static_cast<unsigned>(seconds / 60 % 60);
  const auto s = static_cast<unsigned>(seconds % 60);
  if (h > 0) {
    std::snprintf(text, sizeof text, "%llu:%02u:%02u", h, m, s);
  } else {
    std::snprintf(text, sizeof text, "%u:%02u", m, s);
  }
  return text;
}

}  // namespace

std::string ProgressText(std::uint64_t done, std::uint64_t total, double seconds) {
  constexpr std::uint64_t kWidth = 24;
  const std::uint64_t filled = total == 0 ? kWidth : done * kWidth / total;
  std::string text = std::to_string(done) + "/" + std::to_string(total) + " runs [" +
                     std::string(filled, '#') + std::string(kWidth - filled, '.') + "]";
  if (done == 0 || seconds <= 0.0) return text + "  -- runs/s  --:-- left";
  const double rate = static_cast<double>(done) / seconds;
  char rateText[32];
  std::snprintf(rateText, sizeof rateText, "  %.1f runs/s  ", rate);
  const double left = std::ceil(static_cast<double>(total - done) / rate);
  return text + rateText + ClockText(static_cast<std::uint64_t>(left)) + " left";
}

void ProgressBar::Update(std::uint64_t done) {
  if (err_ == nullptr) return;
  const auto now = std::chrono::steady_clock::now();
  if (drawn_ && now - lastDraw_ < std::chrono::milliseconds(100) && done < total_) return;
  lastDraw_ = now;
  drawn_ = true;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  *err_ << "\r\x1b[K" << ProgressText(done, total_, seconds) << std::flush;
}

void ProgressBar::Finish() {
  if (err_ != nullptr && drawn_) *err_ << '\n' << std::flush;
}

}  // namespace impactsim::cli
