#include "platform/run_on_threads.h"

#include <atomic>
#include <stdexcept>

#include <gtest/gtest.h>

namespace inkbinder {
namespace {

// A failure on any thread must reach the caller, or a check that lost a
// reader would pass a book it never read; the others are told to stop.
TEST(RunOnThreadsTest, EveryThreadWorksAndAHelpersFailureReachesTheCaller) {
  std::atomic<unsigned> ran{0};
  RunOnThreads(3, [&](unsigned) { ++ran; }, [] {});
  EXPECT_EQ(ran.load(), 3u);

  for (const unsigned failing : {0u, 2u}) {
    std::atomic<bool> gave_up{false};
    EXPECT_THROW(RunOnThreads(
                     3,
                     [&](unsigned k) {
                       if (k == failing) throw std::runtime_error("reader failed");
                     },
                     [&] { gave_up = true; }),
                 std::runtime_error)
        << "thread " << failing;
    EXPECT_TRUE(gave_up.load()) << "thread " << failing;
  }
}

}  // namespace
}  // namespace inkbinder
