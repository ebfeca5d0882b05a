// 1000 calls of WaitOneMillisecond on each wait method: wall time per call and the process's
// CPU time as a share of the wall time.
#include "bench/CpuTime.h"
#include "runtime/CMultimediaTimer.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>

namespace
{
constexpr int kCalls = 1000;

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Measure(const char* label, CMultimediaTimer::WaitMethod method)
{
    CMultimediaTimer timer(method);
    LARGE_INTEGER start, end;
    const double cpuStart = CpuTime::Process();
    QueryPerformanceCounter(&start);
    for (int i = 0; i < kCalls; ++i)
        timer.WaitOneMillisecond();
    QueryPerformanceCounter(&end);
    const double cpu = CpuTime::Process() - cpuStart;
    const double wall = Seconds(start, end);
    std::printf("%-22s %s  %d calls: %.3f ms per call, CPU %.1f%% of wall time\n", label,
                timer.HasWaitableTimer() ? "(waitable timer)  " : "(multimedia timer)", kCalls, wall * 1000.0 / kCalls,
                wall > 0.0 ? 100.0 * cpu / wall : 0.0);
}
}

int main()
{
    Measure("default", CMultimediaTimer::WaitMethod::Default);
    Measure("forced fallback", CMultimediaTimer::WaitMethod::MultimediaTimer);
    return 0;
}
