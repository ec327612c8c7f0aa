// The ordered hand-over of results from worker threads, and the progress
// line of a sweep.

#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "cli/progress_bar.h"
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
