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
inline double Seconds(const FILETIME& kernel, const FILETIME& user)
{
    const auto ticks = [](const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return static_cast<double>(ticks(kernel) + ticks(user)) * 1e-7;
}
#else
inline double Seconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}
#endif

// User plus kernel time of the calling thread.
inline double Thread()
{
#ifdef _WIN32
    FILETIME creation, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &creation, &exited, &kernel, &user);
    return Seconds(kernel, user);
#else
    return Seconds(CLOCK_THREAD_CPUTIME_ID);
#endif
}

// User plus kernel time of the whole process, the system's timer threads included (the C
// library's clock() would be wall time on Windows).
inline double Process()
{
#ifdef _WIN32
    FILETIME creation, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &creation, &exited, &kernel, &user);
    return Seconds(kernel, user);
#else
    return Seconds(CLOCK_PROCESS_CPUTIME_ID);
#endif
}
}
