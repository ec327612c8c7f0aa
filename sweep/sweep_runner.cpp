#include "sweep/sweep_runner.h"

#include <sched.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace impactsim {

namespace {

constexpr auto kTickInterval = std::chrono::milliseconds(50);

// Results waiting to be consumed, in a ring of Window slots: item i lives in
// slot i % Window, and no item is started before item i - Window is consumed.
class OrderedRing {
 public:
  explicit OrderedRing(const OrderedWork& work)
      : work_(work),
        window_(static_cast<std::size_t>(
            std::min<std::uint64_t>(work.Count, std::max(1024u, 64u * work.Jobs)))),
        slots_(window_),
        filled_(window_, 0) {}

  void Work() {
    while (true) {
      std::uint64_t item = 0;
      {
        std::unique_lock lock(mutex_);
        room_.wait(lock,
                   [this] { return stop_ || next_ >= work_.Count || next_ < consumed_ + window_; });
        if (stop_ || next_ >= work_.Count) return;
        item = next_++;
      }
      ItemText text;
      try {
        text = work_.Produce(item);
      } catch (...) {
        const std::lock_guard lock(mutex_);
        // An item cut short by the work's stop may fail for that reason only.
        if (!failure_ && !stop_) failure_ = std::current_exception();
        StopLocked();
        ready_.notify_all();
        return;
      }
      {
        const std::lock_guard lock(mutex_);
        if (stop_) return;  // perhaps cut short: dropped
        slots_[Slot(item)] = std::move(text);
        filled_[Slot(item)] = 1;
        ++produced_;
      }
      ready_.notify_one();
    }
  }

  bool Hand() {
    std::string batch;
    std::vector<std::pair<std::uint64_t, RowResult>> rows;
    while (consumed_ < work_.Count) {
      std::uint64_t produced = 0;
      {
        std::unique_lock lock(mutex_);
        ready_.wait_for(lock, kTickInterval, [this] { return stop_ || filled_[Slot(consumed_)]; });
        if (stop_) return false;
        // Everything that is ready in order goes out in one write.
        while (consumed_ < work_.Count && filled_[Slot(consumed_)]) {
          ItemText& slot = slots_[Slot(consumed_)];
          batch += slot.Text;
          if (slot.Row) rows.emplace_back(consumed_, *slot.Row);
          slot = ItemText();
          filled_[Slot(consumed_)] = 0;
          ++consumed_;
        }
        produced = produced_;
      }
      room_.notify_all();
      if (!batch.empty()) {
        if (!work_.Consume(batch)) {
          Stop();
          return false;
        }
        batch.clear();
      }
      if (work_.TakeRow) {
        for (const auto& [item, row] : rows) work_.TakeRow(item, row);
      }
      rows.clear();
      if (work_.Tick) work_.Tick(produced);
    }
    return true;
  }

  void Stop() {
    const std::lock_guard lock(mutex_);
    StopLocked();
  }

  void RethrowFailure() {
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  void StopLocked() {
    stop_ = true;
    if (work_.Cancel != nullptr) work_.Cancel->store(true);
    room_.notify_all();
  }

  std::size_t Slot(std::uint64_t item) const { return static_cast<std::size_t>(item % window_); }

  const OrderedWork& work_;
  const std::size_t window_;
  std::mutex mutex_;
  std::condition_variable ready_;  // an item was produced, or the work stopped
  std::condition_variable room_;   // the window moved on, or the work stopped
  std::vector<ItemText> slots_;
  std::vector<char> filled_;
  std::uint64_t next_ = 0;      // the next item to hand to a worker
  std::uint64_t consumed_ = 0;  // items consumed; only the calling thread writes it
  std::uint64_t produced_ = 0;
  bool stop_ = false;
  std::exception_ptr failure_;
};

}  // namespace

bool RunInOrder(const OrderedWork& work) {
  if (work.Count == 0) return true;
  OrderedRing ring(work);
  const unsigned jobs =
      static_cast<unsigned>(std::min<std::uint64_t>(std::max(work.Jobs, 1u), work.Count));
  std::vector<std::jthread> workers;
  workers.reserve(jobs);
  bool complete = false;
  try {
    for (unsigned j = 0; j < jobs; ++j) workers.emplace_back([&ring] { ring.Work(); });
    complete = ring.Hand();
  } catch (...) {
    ring.Stop();
    throw;  // the jthreads join on the way out
  }
  // Every item consumed: the workers have none left and return by themselves.
  if (!complete) ring.Stop();
  workers.clear();  // joins
  ring.RethrowFailure();
  return complete;
}

unsigned DefaultJobs() {
  // The processors this process may run on (a cluster job's share), else
  // every hardware thread.
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  unsigned processors = 0;
  if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
    processors = static_cast<unsigned>(CPU_COUNT(&allowed));
  }
  if (processors == 0) processors = std::thread::hardware_concurrency();
  return std::clamp(processors, 1u, kMaxJobs);
}

unsigned ThreadsFor(unsigned jobs) {
  return std::min(jobs, DefaultJobs());
}

}  // namespace impactsim
