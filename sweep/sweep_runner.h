#pragma once
// Runs numbered work items on several threads and hands their results to one
// consumer strictly in item order, each as soon as it and every earlier item
// are done.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "sweep/sweep_rows.h"

namespace impactsim {

// What one item produces: its text and the values of its row, for a front
// end that takes rows as values.
struct ItemText {
  ItemText(std::string text = {}) : Text(std::move(text)) {}
  std::string Text;
  std::optional<RowResult> Row;
};

struct OrderedWork {
  std::uint64_t Count = 0;  // items 0..Count-1
  unsigned Jobs = 1;        // worker threads, at least 1

  // Makes item i's text; called on the worker threads, so it must not touch
  // anything mutable that is shared. An exception stops the work and is
  // rethrown by RunInOrder once every worker has returned.
  std::function<ItemText(std::uint64_t)> Produce;

  // Takes the texts of one or more consecutive items, in order, on the
  // calling thread. Returning false stops the work.
  std::function<bool(std::string_view)> Consume;

  // Takes the row values of each item that has them, in order, once its
  // texts have gone out.
  std::function<void(std::uint64_t, const RowResult&)> TakeRow;

  // Called on the calling thread after each hand-over and at least every
  // twentieth of a second, with the number of items produced so far. May
  // throw to stop the work: RunInOrder rethrows it once every worker has
  // returned.
  std::function<void(std::uint64_t)> Tick;

  // If given, set by RunInOrder as soon as the work stops before its end (a
  // consumer or Tick stopped it, or an item failed), so that Produce can cut
  // the items in progress short. What Produce returns once the work has
  // stopped is dropped, never consumed.
  std::atomic<bool>* Cancel = nullptr;
};

// Returns true when every item was produced and consumed, false when Consume
// stopped the work. Items are handed to workers in order and at most a fixed
// window ahead of the oldest one not yet consumed, which bounds the memory
// held by results waiting for a slow earlier item.
bool RunInOrder(const OrderedWork& work);

inline constexpr unsigned kMaxJobs = 1024;

// The number of threads a sweep uses without --jobs, and at most: one per
// processor the process may run on, at least one.
unsigned DefaultJobs();

// The threads a sweep starts when asked for `jobs`: no more than DefaultJobs(),
// since more would only slow every run down and hold back the oldest row.
unsigned ThreadsFor(unsigned jobs);

}  // namespace impactsim
