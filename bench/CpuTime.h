#pragma once

// CPU time for the benchmarks, which state their rates per CPU second so that other load on the
// machine does not count against them.
#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

#include <cstdint>

namespace CpuTime
{
#ifdef _WIN32
// User plus kernel time of a thread or process, read by GetThreadTimes or GetProcessTimes.
inline double Seconds(BOOL(WINAPI* times)(HANDLE, FILETIME*, FILETIME*, FILETIME*, FILETIME*), HANDLE of)
{
    FILETIME creation, exited, kernel, user;
    times(of, &creation, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) * 1e-7;
}

// User plus kernel time of the calling thread.
inline double Thread()
{
    return Seconds(GetThreadTimes, GetCurrentThread());
}
// User plus kernel time of the whole process, the system's timer threads included (the C
// library's clock() would be wall time on Windows).
inline double Process()
{
    return Seconds(GetProcessTimes, GetCurrentProcess());
}
#else
inline double Seconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

inline double Thread()
{
    return Seconds(CLOCK_THREAD_CPUTIME_ID);
}
inline double Process()
{
    return Seconds(CLOCK_PROCESS_CPUTIME_ID);
}
#endif
}
