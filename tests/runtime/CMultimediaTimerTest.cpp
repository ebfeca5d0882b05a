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

// A wait that returns at once pulls the mean down; how long one takes under load is bench_timer's
// concern. 0 ms: WaitOneMillisecond, the render thread's tick.
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

// A restart counts from zero: the first run, longer than the second, would show in the count, and
// a periodic timer left running from it would double the count.
TEST(CMultimediaTimer, CountsMillisecondsFromTheLastStartToTheStop)
{
    CMultimediaTimer timer;
    STimer& base = timer;
    uint64_t frequency = 0;
    EXPECT_EQ(kStatusSuccess, base.GetFrequency(&frequency));
    EXPECT_EQ(1000u, frequency);
    EXPECT_EQ(kStatusFailure, base.Stop());
    EXPECT_EQ(0u, timer.IsMeasured());

    ASSERT_EQ(kStatusSuccess, base.Start());
    Sleep(100);
    const Clock::time_point restart = Clock::now();
    ASSERT_EQ(kStatusSuccess, base.Start());
    EXPECT_EQ(1u, timer.IsRunning());
    Sleep(50);
    ASSERT_EQ(kStatusSuccess, base.Stop());
    const double wall = Milliseconds(Clock::now() - restart);
    EXPECT_EQ(0u, timer.IsRunning());
    EXPECT_EQ(1u, timer.IsMeasured());
    // About one tick per millisecond; generous bounds, the upper one taken from the wall time,
    // which a loaded machine may stretch well beyond the 50 ms asked for.
    EXPECT_GE(timer.GetStopCount() - timer.GetStartCount(), 25u);
    EXPECT_LE(static_cast<double>(timer.GetStopCount()), wall * 1.5 + 5.0);

    // The periodic timer is gone: the count no longer moves.
    uint64_t before = 0;
    uint64_t after = 0;
    timer.GetCounter(&before);
    Sleep(30);
    timer.GetCounter(&after);
    EXPECT_EQ(before, after);
    EXPECT_EQ(kStatusFailure, base.Stop());
}

// A longer pause that returned after 1 ms would wake the synthesizer five times as often. The
// periodic tick is armed again after a once-only pause replaced it. Windows before 10 1803 has no
// high-resolution timer: the multimedia timer waits instead, as it does when forced to.
TEST(CMultimediaTimer, EachWaitTakesItsOwnMilliseconds)
{
    for (const auto method : {CMultimediaTimer::WaitMethod::Default, CMultimediaTimer::WaitMethod::MultimediaTimer})
    {
        const bool forced = method == CMultimediaTimer::WaitMethod::MultimediaTimer;
        SCOPED_TRACE(forced ? "forced multimedia timer" : "default");
        CMultimediaTimer timer(method);
        EXPECT_EQ(!forced && SystemHasHighResolutionTimer(), timer.HasWaitableTimer());
        EXPECT_GE(MeanWait(timer, 100, 0), 0.9);
        EXPECT_GE(MeanWait(timer, 20, 5), 4.5);
        EXPECT_GE(MeanWait(timer, 100, 0), 0.9);
        EXPECT_GE(MeanWait(timer, 100, 1), 0.9);
    }
}
