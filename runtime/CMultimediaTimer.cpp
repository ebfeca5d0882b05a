#include "runtime/CMultimediaTimer.h"

#include "runtime/CSystemLibrary.h"
#include "runtime/Status.h"

#include <mmsystem.h>

// Windows 10 version 1803 and later; older systems refuse it and the one-shot multimedia
// timer serves instead.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace
{
// One millisecond in 100 ns units, the waitable timer's.
constexpr LONGLONG kOneMillisecond = 10000;

HANDLE CreateHighResolutionTimer()
{
    return CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
}

// The multimedia timer service of winmm.dll, which is not among the DLLs Windows always takes
// from the system folder: imported, it would be looked for beside the program first. Without
// it, the multimedia timers fail and the waitable timer or Sleep(0) serves.
struct MultimediaTimerService
{
    CSystemLibrary Library{L"winmm.dll"};
    decltype(&timeSetEvent) pfnSetEvent = Library.Find<decltype(&timeSetEvent)>("timeSetEvent");
    decltype(&timeKillEvent) pfnKillEvent = Library.Find<decltype(&timeKillEvent)>("timeKillEvent");
};

const MultimediaTimerService& Winmm()
{
    static const MultimediaTimerService service;
    return service;
}

// 0 when the service is missing, as when it refuses the timer.
UINT SetTimerEvent(UINT delay, LPTIMECALLBACK callback, DWORD_PTR user, UINT flags)
{
    const MultimediaTimerService& winmm = Winmm();
    return winmm.pfnSetEvent != nullptr ? winmm.pfnSetEvent(delay, 0, callback, user, flags) : 0;
}

void KillTimerEvent(UINT id)
{
    const MultimediaTimerService& winmm = Winmm();
    if (winmm.pfnKillEvent != nullptr)
        winmm.pfnKillEvent(id);
}

void CloseIfOpen(HANDLE& handle)
{
    if (handle != nullptr && CloseHandle(handle))
        handle = nullptr;
}
}

CMultimediaTimer::CMultimediaTimer(WaitMethod method)
    : m_uiTimerId(0), m_uiTickCount(0), m_hEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_hWaitableTimer(method == WaitMethod::Default ? CreateHighResolutionTimer() : nullptr)
{
    // Loaded here, by the thread that builds the timer, so that no real-time thread waits for
    // the loader at its first pause.
    Winmm();
}

CMultimediaTimer::~CMultimediaTimer()
{
    if (m_uiTimerId != 0)
        KillTimerEvent(m_uiTimerId);
    m_uiTimerId = 0;
    m_uiTickCount = 0;
    CloseIfOpen(m_hEvent);
    CloseIfOpen(m_hWaitableTimer);
}

int32_t CMultimediaTimer::GetFrequency(uint64_t* out)
{
    if (out == nullptr)
        return kStatusInvalidArgument;
    *out = 1000;
    return kStatusSuccess;
}

int32_t CMultimediaTimer::GetCounter(uint64_t* out)
{
    if (out == nullptr)
        return kStatusInvalidArgument;
    *out = m_uiTickCount.load(std::memory_order_relaxed);
    return kStatusSuccess;
}

void CALLBACK CMultimediaTimer::Tick(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR)
{
    reinterpret_cast<CMultimediaTimer*>(user)->m_uiTickCount.fetch_add(1, std::memory_order_relaxed);
}

int32_t CMultimediaTimer::Start()
{
    // A periodic timer still running from an earlier Start would keep counting into this run.
    if (m_uiTimerId != 0)
    {
        KillTimerEvent(m_uiTimerId);
        m_uiTimerId = 0;
    }
    m_uiTickCount = 0;
    const UINT id = SetTimerEvent(1, &CMultimediaTimer::Tick, reinterpret_cast<DWORD_PTR>(this), TIME_PERIODIC);
    if (id == 0)
        return kStatusFailure;
    uint64_t count = 0;
    if (GetCounter(&count) != kStatusSuccess)
    {
        KillTimerEvent(id);
        return kStatusFailure;
    }
    m_uiStartCount = count;
    m_bRunning = 1;
    m_bMeasured = 0;
    m_uiTimerId = id;
    return kStatusSuccess;
}

int32_t CMultimediaTimer::Stop()
{
    if (m_uiTimerId != 0)
    {
        KillTimerEvent(m_uiTimerId);
        m_uiTimerId = 0;
    }
    return STimer::Stop();
}

void CMultimediaTimer::WaitOneMillisecond()
{
    if (m_hWaitableTimer != nullptr && WaitForNextTick())
        return;
    Wait(1);
}

bool CMultimediaTimer::WaitForNextTick()
{
    if (!m_bTicking)
    {
        LARGE_INTEGER due;
        due.QuadPart = -kOneMillisecond;
        if (!SetWaitableTimer(m_hWaitableTimer, &due, 1, nullptr, nullptr, FALSE))
            return false;
        m_bTicking = true;
    }
    if (WaitForSingleObject(m_hWaitableTimer, INFINITE) == WAIT_FAILED)
        Sleep(0);
    return true;
}

void CMultimediaTimer::Wait(uint32_t milliseconds)
{
    if (milliseconds == 0)
        milliseconds = 1;
    // Arming the timer once-only replaces the periodic tick.
    m_bTicking = false;
    if (m_hWaitableTimer != nullptr && WaitOnWaitableTimer(milliseconds))
        return;
    if (WaitOnMultimediaTimer(milliseconds))
        return;
    Sleep(0);
}

bool CMultimediaTimer::WaitOnWaitableTimer(uint32_t milliseconds)
{
    LARGE_INTEGER due;
    // Negative: relative to now.
    due.QuadPart = -kOneMillisecond * static_cast<LONGLONG>(milliseconds);
    if (!SetWaitableTimer(m_hWaitableTimer, &due, 0, nullptr, nullptr, FALSE))
        return false;
    // A failed wait is not retried on the other timer: the caller only needs to get on.
    if (WaitForSingleObject(m_hWaitableTimer, INFINITE) == WAIT_FAILED)
        Sleep(0);
    return true;
}

bool CMultimediaTimer::WaitOnMultimediaTimer(uint32_t milliseconds)
{
    if (m_hEvent == nullptr)
        return false;
    const UINT id = SetTimerEvent(milliseconds, reinterpret_cast<LPTIMECALLBACK>(m_hEvent), 0,
                                  TIME_ONESHOT | TIME_CALLBACK_EVENT_SET);
    if (id == 0)
        return false;
    if (WaitForSingleObject(m_hEvent, INFINITE) == WAIT_FAILED)
        Sleep(0);
    return true;
}
