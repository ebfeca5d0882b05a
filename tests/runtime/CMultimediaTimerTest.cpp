#include "runtime/CMultimediaTimer.h"

#include <gtest/gtest.h>

#include <chrono>

namespace
{
using Clock = std::chrono::steady_clock;

double MillisecondsPerWait(CMultimediaTimer& timer, int waits)
{
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < waits; ++i)
        timer.WaitOneMillisecond();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / waits;
}
}

TEST(CMultimediaTimer, CountsMillisecondsBetweenStartAndStop)
{
    CMultimediaTimer timer;
    STimer& base = timer;
    uint64_t frequency = 0;
    EXPECT_EQ(1, base.GetFrequency(&frequency));
    EXPECT_EQ(1000u, frequency);
    EXPECT_EQ(-1, base.Stop());
    EXPECT_EQ(0u, timer.IsMeasured());

    ASSERT_EQ(1, base.Start());
    EXPECT_EQ(1u, timer.IsRunning());
    Sleep(100);
    ASSERT_EQ(1, base.Stop());
    EXPECT_EQ(0u, timer.IsRunning());
    EXPECT_EQ(1u, timer.IsMeasured());
    const uint64_t elapsed = timer.GetStopCount() - timer.GetStartCount();
    EXPECT_GE(timer.GetStopCount(), timer.GetStartCount());
    // About 100 ticks; generous bounds for a loaded machine.
    EXPECT_GE(elapsed, 50u);
    EXPECT_LE(elapsed, 1000u);

    // The periodic timer is gone: the count no longer moves.
    uint64_t before = 0;
    uint64_t after = 0;
    timer.GetCounter(&before);
    Sleep(30);
    timer.GetCounter(&after);
    EXPECT_EQ(before, after);
    EXPECT_EQ(-1, base.Stop());
}

TEST(CMultimediaTimer, RestartCountsFromZero)
{
    CMultimediaTimer timer;
    ASSERT_EQ(1, timer.Start());
    Sleep(50);
    ASSERT_EQ(1, timer.Start());
    EXPECT_EQ(0u, timer.IsMeasured());
    Sleep(20);
    ASSERT_EQ(1, timer.Stop());
    // A second periodic timer left running from the first Start would double the count.
    EXPECT_LE(timer.GetStopCount(), 45u);
}

TEST(CMultimediaTimer, EachWaitTakesItsOwnMillisecond)
{
    CMultimediaTimer timer;
    EXPECT_TRUE(timer.HasWaitableTimer());
    const double perWait = MillisecondsPerWait(timer, 100);
    EXPECT_GE(perWait, 0.9);
    EXPECT_LE(perWait, 10.0);
}

TEST(CMultimediaTimer, MultimediaFallbackAlsoWaitsEachMillisecond)
{
    CMultimediaTimer timer(CMultimediaTimer::WaitMethod::MultimediaTimer);
    EXPECT_FALSE(timer.HasWaitableTimer());
    const double perWait = MillisecondsPerWait(timer, 50);
    EXPECT_GE(perWait, 0.9);
    EXPECT_LE(perWait, 10.0);
}
