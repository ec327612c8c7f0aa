#include "sweep/series_spool.h"

#include <cerrno>
#include <vector>

#include "sweep/text_escape.h"

namespace impactsim {

namespace {

constexpr const char* kSeries = "series";

}  // namespace

SeriesSpool::~SeriesSpool() {
  for (auto& [item, spool] : spools_) {
    if (spool.File != nullptr) std::fclose(spool.File);
  }
}

void SeriesSpool::Line(std::uint64_t item, std::string_view text) {
  const std::lock_guard lock(mutex_);
  if (failure_) return;
  if (item == head_) {
    if (!sink_->Write(text)) Fail(sink_->Error());
    return;
  }
  Hold(spools_[item], text);
}

void SeriesSpool::Done(std::uint64_t item) {
  const std::lock_guard lock(mutex_);
  if (failure_) return;
  if (item != head_) {
    spools_[item].Done = true;
    return;
  }
  // The head is complete: the items after it move up, the complete ones
  // whole, then the first one still running with what it has so far.
  ++head_;
  for (auto next = spools_.find(head_); next != spools_.end(); next = spools_.find(head_)) {
    const bool done = next->second.Done;
    const bool written = WriteOut(next->second);
    if (next->second.File != nullptr) std::fclose(next->second.File);
    spools_.erase(next);
    if (!written || !done) return;
    ++head_;
  }
}

std::optional<Problem> SeriesSpool::Failure() const {
  const std::lock_guard lock(mutex_);
  return failure_;
}

// In memory while it is small, then in an unnamed temporary file.
void SeriesSpool::Hold(Spool& spool, std::string_view text) {
  if (spool.File == nullptr && spool.Memory.size() + text.size() <= kSpoolMemory) {
    spool.Memory += text;
    return;
  }
  if (spool.File == nullptr) {
    spool.File = std::tmpfile();
    if (spool.File == nullptr) {
      Fail({kSeries,
            "cannot hold the rounds of a task that ran ahead of an earlier one: a "
            "temporary file: " +
                ErrnoText(errno)});
      return;
    }
  }
  for (const std::string_view part : {std::string_view(spool.Memory), text}) {
    if (!part.empty() && std::fwrite(part.data(), 1, part.size(), spool.File) != part.size()) {
      Fail({kSeries, "cannot hold the rounds of a task that ran ahead of an earlier one: " +
                         ErrnoText(errno != 0 ? errno : EIO)});
      return;
    }
  }
  spool.Memory.clear();
  spool.Memory.shrink_to_fit();
}

bool SeriesSpool::WriteOut(Spool& spool) {
  if (!spool.Memory.empty() && spool.File == nullptr) {
    if (sink_->Write(spool.Memory)) return true;
    Fail(sink_->Error());
    return false;
  }
  if (spool.File == nullptr) return true;
  if (std::fflush(spool.File) != 0 || std::fseek(spool.File, 0, SEEK_SET) != 0) {
    Fail({kSeries, "reading back the rounds of a task that ran ahead failed: " + ErrnoText(errno)});
    return false;
  }
  std::vector<char> buffer(64 * 1024);
  while (true) {
    const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), spool.File);
    if (n > 0 && !sink_->Write(std::string_view(buffer.data(), n))) {
      Fail(sink_->Error());
      return false;
    }
    if (n < buffer.size()) break;
  }
  if (std::ferror(spool.File) != 0) {
    Fail({kSeries, "reading back the rounds of a task that ran ahead failed"});
    return false;
  }
  return true;
}

void SeriesSpool::Fail(Problem problem) {
  if (!failure_) failure_ = std::move(problem);
}

}  // namespace impactsim
