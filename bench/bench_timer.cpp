// 1000 calls of WaitOneMillisecond on each wait method: wall time per call and the process's
// CPU time as a share of the wall time.
#include "runtime/CMultimediaTimer.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>

namespace
{
constexpr int kCalls = 1000;

uint64_t ProcessCpu100ns()
{
    FILETIME creation, exit, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user))
        return 0;
    auto value = [](const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return value(kernel) + value(user);
}

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
    const uint64_t cpuStart = ProcessCpu100ns();
    QueryPerformanceCounter(&start);
    for (int i = 0; i < kCalls; ++i)
        timer.WaitOneMillisecond();
    QueryPerformanceCounter(&end);
    const double cpu = static_cast<double>(ProcessCpu100ns() - cpuStart) * 1e-7;
    const double wall = Seconds(start, end);
    std::printf("%-22s %s  %d calls: %.3f ms per call, CPU %.1f%% of wall time\n", label,
                timer.HasWaitableTimer() ? "(waitable timer)  " : "(multimedia timer)", kCalls,
                wall * 1000.0 / kCalls, wall > 0.0 ? 100.0 * cpu / wall : 0.0);
}
}

int main()
{
    Measure("default", CMultimediaTimer::WaitMethod::Default);
    Measure("forced fallback", CMultimediaTimer::WaitMethod::MultimediaTimer);
    return 0;
}
