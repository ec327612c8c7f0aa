#pragma once
// The per-round series of a sweep's tasks, written to the series file in task
// order while the tasks run on several threads, each line as soon as its
// place in the file has come.

#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "sweep/input_error.h"
#include "sweep/sweep_out_file.h"

namespace impactsim {

// Items are numbered from 0 in the order their series go to the file. The
// lines of the oldest item whose series is not complete go straight to the
// sink as its rounds end; those of a later item wait in its spool (in memory
// up to kSpoolMemory, beyond that in an unnamed temporary file that vanishes
// with the process) until every earlier item's series is in the file, and
// then follow at once. So the file always holds the series of items 0..k-1
// whole, then perhaps the first rounds of item k: what a sweep cut short
// leaves, which resume cuts off. Memory stays bounded however long the runs.
//
// Safe to call from several threads; each item's lines come from one thread.
class SeriesSpool {
 public:
  static constexpr std::size_t kSpoolMemory = 256 * 1024;

  explicit SeriesSpool(RowSink& sink) : sink_(&sink) {}
  SeriesSpool(const SeriesSpool&) = delete;
  SeriesSpool& operator=(const SeriesSpool&) = delete;
  ~SeriesSpool();

  // One line of item `item`'s series, its rounds in order.
  void Line(std::uint64_t item, std::string_view text);

  // Item `item`'s series is complete: once every earlier one is written, so
  // is it, and the later items' follow. Not called for an item cut short.
  void Done(std::uint64_t item);

  // The first failure to write the file or to spool a series; nothing is
  // written after it.
  std::optional<Problem> Failure() const;

 private:
  struct Spool {
    std::string Memory;
    std::FILE* File = nullptr;
    bool Done = false;
  };

  void Hold(Spool& spool, std::string_view text);
  bool WriteOut(Spool& spool);
  void Fail(Problem problem);

  mutable std::mutex mutex_;
  RowSink* sink_;
  std::uint64_t head_ = 0;  // the item whose lines go straight to the sink
  std::map<std::uint64_t, Spool> spools_;
  std::optional<Problem> failure_;
};

}  // namespace impactsim
