#include "runtime/CMultimediaTimer.h"

#include "runtime/Status.h"

#include <gtest/gtest.h>

#include <chrono>

// Windows 10 version 1803 and later; not every SDK names it.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace
{
using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

// Shows whether every wait really waits: a wait that returns at once pulls the mean down. How
// long a wait takes on a loaded machine is the timer benchmark's concern (bench_timer), not a
// test's.
// 0 ms: WaitOneMillisecond, the render thread's tick.
double MeanWait(CMultimediaTimer& timer, int waits, uint32_t milliseconds)
{
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < waits; ++i)
    {
        if (milliseconds == 0)
            timer.WaitOneMillisecond();
        else
            timer.Wait(milliseconds);
    }
    return Milliseconds(Clock::now() - start) / waits;
}

// Asked of the system directly, not through the code under test.
bool SystemHasHighResolutionTimer()
{
    const HANDLE timer =
        CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (timer == nullptr)
        return false;
    CloseHandle(timer);
    return true;
}
}

TEST(CMultimediaTimer, CountsMillisecondsBetweenStartAndStop)
{
    CMultimediaTimer timer;
    STimer& base = timer;
    uint64_t frequency = 0;
    EXPECT_EQ(kStatusSuccess, base.GetFrequency(&frequency));
    EXPECT_EQ(1000u, frequency);
    EXPECT_EQ(kStatusFailure, base.Stop());
    EXPECT_EQ(0u, timer.IsMeasured());

    const Clock::time_point start = Clock::now();
    ASSERT_EQ(kStatusSuccess, base.Start());
    EXPECT_EQ(1u, timer.IsRunning());
    Sleep(100);
    ASSERT_EQ(kStatusSuccess, base.Stop());
    const double wall = Milliseconds(Clock::now() - start);
    EXPECT_EQ(0u, timer.IsRunning());
    EXPECT_EQ(1u, timer.IsMeasured());
    const uint64_t elapsed = timer.GetStopCount() - timer.GetStartCount();
    EXPECT_GE(timer.GetStopCount(), timer.GetStartCount());
    // About one tick per millisecond; generous bounds, the upper one taken from the wall time,
    // which a loaded machine may stretch well beyond the 100 ms asked for.
    EXPECT_GE(elapsed, 50u);
    EXPECT_LE(static_cast<double>(elapsed), wall * 1.5 + 5.0);

    // The periodic timer is gone: the count no longer moves.
    uint64_t before = 0;
    uint64_t after = 0;
    timer.GetCounter(&before);
    Sleep(30);
    timer.GetCounter(&after);
    EXPECT_EQ(before, after);
    EXPECT_EQ(kStatusFailure, base.Stop());
}

TEST(CMultimediaTimer, RestartCountsFromZero)
{
    CMultimediaTimer timer;
    ASSERT_EQ(kStatusSuccess, timer.Start());
    Sleep(50);
    const Clock::time_point restart = Clock::now();
    ASSERT_EQ(kStatusSuccess, timer.Start());
    EXPECT_EQ(0u, timer.IsMeasured());
    Sleep(20);
    ASSERT_EQ(kStatusSuccess, timer.Stop());
    const double wall = Milliseconds(Clock::now() - restart);
    // About one tick per millisecond since the restart; a second periodic timer left running
    // from the first Start would double the count.
    EXPECT_LE(static_cast<double>(timer.GetStopCount()), wall * 1.5 + 3.0);
}

// A longer pause that returned after 1 ms would wake the synthesizer five times as often.
TEST(CMultimediaTimer, EachWaitTakesItsOwnMilliseconds)
{
    CMultimediaTimer timer;
    // Windows before 10 1803 has none: the multimedia timer waits instead.
    EXPECT_EQ(SystemHasHighResolutionTimer(), timer.HasWaitableTimer());
    EXPECT_GE(MeanWait(timer, 100, 0), 0.9);
    EXPECT_GE(MeanWait(timer, 20, 5), 4.5);
    // The periodic tick is armed again after a once-only pause replaced it.
    EXPECT_GE(MeanWait(timer, 100, 0), 0.9);
    EXPECT_GE(MeanWait(timer, 100, 1), 0.9);
}

TEST(CMultimediaTimer, MultimediaFallbackAlsoWaitsItsMilliseconds)
{
    CMultimediaTimer timer(CMultimediaTimer::WaitMethod::MultimediaTimer);
    EXPECT_FALSE(timer.HasWaitableTimer());
    EXPECT_GE(MeanWait(timer, 50, 0), 0.9);
    EXPECT_GE(MeanWait(timer, 20, 5), 4.5);
}
