// The ordered hand-over of results from worker threads, the series written
// in order from them, and the progress line of a sweep.

#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "cli/progress_bar.h"
#include "sweep/series_spool.h"
#include "sweep/sweep_runner.h"

namespace impactsim::cli {
namespace {

// Results reach the consumer in item order however long each item takes,
// across more items than the window of pending results holds.
TEST(SweepRunner, HandsResultsOverInOrder) {
  struct Case {
    std::uint64_t count;
    unsigned jobs;
  };
  for (const Case c : {Case{0, 3}, Case{1, 4}, Case{200, 1}, Case{200, 3}, Case{3000, 2}}) {
    std::string expected;
    for (std::uint64_t i = 0; i < c.count; ++i) expected += std::to_string(i) + '\n';
    std::string got;
    OrderedWork work;
    work.Count = c.count;
    work.Jobs = c.jobs;
    work.Produce = [](std::uint64_t i) {
      // Early items are slow, so later ones finish first.
      if (i % 7 == 0) std::this_thread::sleep_for(std::chrono::microseconds(i < 50 ? 300 : 20));
      return std::to_string(i) + '\n';
    };
    work.Consume = [&got](std::string_view rows) {
      EXPECT_FALSE(rows.empty());
      got += rows;
      return true;
    };
    EXPECT_TRUE(RunInOrder(work));
    EXPECT_EQ(got, expected) << c.count << " items, " << c.jobs << " jobs";
  }
}

TEST(SweepRunner, StopsOnAFailureOrWhenTheConsumerRefuses) {
  std::string got;
  OrderedWork work;
  work.Count = 500;
  work.Jobs = 3;
  work.Produce = [](std::uint64_t i) {
    if (i == 37) throw std::runtime_error("item 37 failed");
    return std::to_string(i) + '\n';
  };
  work.Consume = [&got](std::string_view rows) { return got += rows, true; };
  try {
    RunInOrder(work);
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "item 37 failed");
  }
  std::string prefix;
  for (int i = 0; i < 37; ++i) prefix += std::to_string(i) + '\n';
  EXPECT_TRUE(prefix.starts_with(got)) << got;

  // A consumer that refuses the first hand-over stops the work: the workers
  // do not go on through a long list.
  std::atomic<int> produced = 0;
  work.Count = 1'000'000;
  work.Produce = [&produced](std::uint64_t i) { return ++produced, std::to_string(i) + '\n'; };
  int calls = 0;
  work.Consume = [&calls](std::string_view) { return ++calls, false; };
  EXPECT_FALSE(RunInOrder(work));
  EXPECT_EQ(calls, 1);
  EXPECT_LT(produced.load(), 10'000);

  // A Tick that throws stops the work and cancels the items in progress,
  // which would otherwise run for a minute; what they return is dropped.
  std::atomic<bool> cancel = false;
  work.Cancel = &cancel;
  work.Jobs = 2;
  work.Produce = [&cancel](std::uint64_t i) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (i == 1 && !cancel.load() && std::chrono::steady_clock::now() < until) {
      std::this_thread::yield();
    }
    return std::to_string(i) + '\n';
  };
  got.clear();
  work.Consume = [&got](std::string_view rows) { return got += rows, true; };
  work.Tick = [&got](std::uint64_t) {
    if (got == "0\n") throw std::runtime_error("stop");
  };
  const auto started = std::chrono::steady_clock::now();
  EXPECT_THROW(RunInOrder(work), std::runtime_error);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
  EXPECT_TRUE(cancel.load());
  EXPECT_EQ(got, "0\n");
}

// A sweep runs no more threads than the processors it may run on (a cluster
// job's share), whatever it is asked for: more would only hold back every
// row.
TEST(SweepRunner, ThreadsStayWithinTheProcessorsAllowed) {
  cpu_set_t allowed;
  ASSERT_EQ(::sched_getaffinity(0, sizeof allowed, &allowed), 0);
  const auto count = static_cast<unsigned>(CPU_COUNT(&allowed));
  std::size_t first = 0;
  while (!CPU_ISSET(first, &allowed)) ++first;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(first, &one);
  ASSERT_EQ(::sched_setaffinity(0, sizeof one, &one), 0);
  const unsigned alone = DefaultJobs();
  const unsigned askedMany = ThreadsFor(kMaxJobs);
  ASSERT_EQ(::sched_setaffinity(0, sizeof allowed, &allowed), 0);
  EXPECT_EQ(alone, 1u);
  EXPECT_EQ(askedMany, 1u);
  EXPECT_EQ(DefaultJobs(), count);
  EXPECT_EQ(ThreadsFor(1), 1u);
  EXPECT_EQ(ThreadsFor(count + 1), count);
}

// The series of items that run ahead wait, in memory or beyond it in a
// temporary file, until every earlier item's are written; the file always
// holds whole series in item order, then the rounds so far of the oldest
// item still running.
TEST(SeriesSpool, WritesEachSeriesInItemOrderAsItsRoundsEnd) {
  // Item 2's rounds are more than a spool keeps in memory.
  std::string big;
  while (big.size() <= SeriesSpool::kSpoolMemory) big += "2," + std::to_string(big.size()) + '\n';
  struct Step {
    const char* name;
    std::uint64_t item;
    std::string line;  // empty: the item is done
    std::string file;  // the file after the step
  };
  const Step steps[] = {
      {"a later item's round waits", 1, "1,0\n", ""},
      {"the oldest item's goes out at once", 0, "0,0\n", "0,0\n"},
      {"a large series waits beyond memory", 2, big, "0,0\n"},
      {"a later item done waits", 2, "", "0,0\n"},
      {"the waiting item goes on", 1, "1,1\n", "0,0\n"},
      {"the oldest done: the next moves up", 0, "", "0,0\n1,0\n1,1\n"},
      {"and now goes out at once", 1, "1,2\n", "0,0\n1,0\n1,1\n1,2\n"},
      {"then the one done after it", 1, "", "0,0\n1,0\n1,1\n1,2\n" + big},
      {"and the next at once", 3, "3,0\n", "0,0\n1,0\n1,1\n1,2\n" + big + "3,0\n"},
  };
  std::ostringstream file;
  RowSink sink(file);
  SeriesSpool spool(sink);
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    if (step.line.empty()) {
      spool.Done(step.item);
    } else {
      spool.Line(step.item, step.line);
    }
    EXPECT_EQ(file.str(), step.file);
  }
  EXPECT_FALSE(spool.Failure().has_value());
}

TEST(SweepProgress, ShowsRunsRateAndTimeLeft) {
  struct Case {
    std::uint64_t done, total;
    double seconds;
    std::string expected;
  };
  const Case cases[] = {
      {0, 10, 0.0, "0/10 runs [........................]  -- runs/s  --:-- left"},
      {5, 10, 2.0, "5/10 runs [############............]  2.5 runs/s  0:02 left"},
      {10, 10, 4.0, "10/10 runs [########################]  2.5 runs/s  0:00 left"},
      {1, 7202, 1.0, "1/7202 runs [........................]  1.0 runs/s  2:00:01 left"},
  };
  for (const Case& c : cases) EXPECT_EQ(ProgressText(c.done, c.total, c.seconds), c.expected);
}

}  // namespace
}  // namespace impactsim::cli
