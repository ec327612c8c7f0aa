// The choice among the compiled versions of the round kernels, and the room
// their quotient planes live in.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "impact/plane_buffer.h"
#include "impact/round_kernels.h"

namespace impactsim {
namespace {

// The kernel versions: the widest first, the last one runs anywhere, a
// forced version is the one in use until released, and an unknown or
// unsupported one is refused without changing the choice.
TEST(round_kernels_test, versions_can_be_forced_and_released) {
  const std::vector<const char*> kernels = RoundKernels();
  ASSERT_FALSE(kernels.empty());
  EXPECT_TRUE(RoundKernelRuns(kernels.back()));
  const std::string widest = ChosenRoundKernel();
  for (const char* kernel : kernels) {
    if (!RoundKernelRuns(kernel)) {
      EXPECT_THROW(ForceRoundKernel(kernel), std::logic_error) << kernel;
      continue;
    }
    ForceRoundKernel(kernel);
    EXPECT_STREQ(ChosenRoundKernel(), kernel);
  }
  EXPECT_THROW(ForceRoundKernel("avx9"), std::logic_error);
  EXPECT_FALSE(RoundKernelRuns("avx9"));
  EXPECT_STREQ(ChosenRoundKernel(), kernels.back());
  ForceRoundKernel(nullptr);
  EXPECT_EQ(ChosenRoundKernel(), widest);
}

// IMPACTSIM_KERNEL, as the programs apply it at start: a version this
// processor runs is used from then on; anything else is one printable line
// naming the variable, and the widest version stays in use.
TEST(round_kernels_test, environment_choice_is_applied_or_refused_in_one_line) {
  const std::string widest = ChosenRoundKernel();
  const char* plain = RoundKernels().back();  // runs everywhere
  struct Case {
    const char* value;  // nullptr: unset
    const char* problem;
    std::string inUse;
  };
  const Case cases[] = {
      {nullptr, nullptr, widest},
      {"", nullptr, widest},
      {plain, nullptr, plain},
      {"avx9", "IMPACTSIM_KERNEL=avx9: not a kernel this processor runs", widest},
      {"SCALAR", "IMPACTSIM_KERNEL=SCALAR: not a kernel this processor runs", widest},
      {"scalar\n", "IMPACTSIM_KERNEL=scalar\\x0a: not a kernel this processor runs", widest},
      {"\xc3\xa9", "IMPACTSIM_KERNEL=\\xc3\\xa9: not a kernel this processor runs", widest},
      {"avx\x1b[2J\r", "IMPACTSIM_KERNEL=avx\\x1b[2J\\x0d: not a kernel this processor runs",
       widest},
      {"\xe2\x80\xae"
       "2xva",
       "IMPACTSIM_KERNEL=\\xe2\\x80\\xae2xva: not a kernel this processor runs", widest},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value == nullptr ? "unset" : c.value);
    ForceRoundKernel(nullptr);
    if (c.value == nullptr) {
      unsetenv("IMPACTSIM_KERNEL");
    } else {
      setenv("IMPACTSIM_KERNEL", c.value, 1);
    }
    const std::optional<std::string> problem = ApplyKernelFromEnvironment();
    EXPECT_EQ(problem, c.problem == nullptr ? std::nullopt : std::optional<std::string>(c.problem));
    EXPECT_EQ(ChosenRoundKernel(), c.inUse);
  }
  unsetenv("IMPACTSIM_KERNEL");
  ForceRoundKernel(nullptr);
}

// A buffer destroyed at thread exit after the thread's spare room was
// released (a thread_local model made before the spare held anything) frees
// its own room, and the spare's is freed once.
TEST(round_kernels_test, plane_buffer_outliving_its_threads_spare_frees_its_own_room) {
  std::thread([] {
    thread_local PlaneBuffer late;  // destroyed after the spare is released
    late.Resize(1);
    {
      PlaneBuffer early;
      early.Resize(std::size_t{1} << 18);
    }                                   // its room becomes the thread's spare
    late.Resize(std::size_t{1} << 20);  // more than the spare holds: new room
    late.Data()[0] = 1.0;
  }).join();
}

}  // namespace
}  // namespace impactsim
