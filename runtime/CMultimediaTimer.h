#pragma once

#include "runtime/STimer.h"

#include <windows.h>

#include <atomic>
#include <cstdint>

// STimer on a periodic 1 ms multimedia timer that counts ticks; also the pauses of the
// real-time threads (Wait, WaitOneMillisecond).
class CMultimediaTimer final : public STimer
{
public:
    // How WaitOneMillisecond pauses.
    enum class WaitMethod
    {
        // A high-resolution waitable timer where the system has one, else the one-shot
        // multimedia timer.
        Default,
        // Always the one-shot multimedia timer (for comparison; it costs far more CPU).
        MultimediaTimer
    };

    // Creates the auto-reset event and, unless told otherwise, the waitable timer.
    explicit CMultimediaTimer(WaitMethod method = WaitMethod::Default);
    ~CMultimediaTimer();

    // Writes 1000: 1.
    int32_t GetFrequency(uint64_t* out) override;
    // Writes the tick count: 1 (-4 for a null out).
    int32_t GetCounter(uint64_t* out) override;
    // Starts the periodic tick from 0: 1, or -1 if the system refuses the timer.
    int32_t Start() override;
    // Kills the periodic tick: 1, or -1 when not running.
    int32_t Stop() override;

    // Pauses about `milliseconds` ms (at least 1). Never fails: when no timer can be armed or
    // the wait fails it yields with Sleep(0). Serves one thread at a time.
    void Wait(uint32_t milliseconds);
    // Waits for the next tick of a periodic 1 ms waitable timer, armed at the first call: one
    // system call per wait instead of two (under Wine each is a trip through its server), and
    // a pass that took part of a millisecond does not push the next one back. Falls back to
    // Wait(1). A late caller finds the tick already there and returns at once.
    void WaitOneMillisecond();

    // True when WaitOneMillisecond uses the high-resolution waitable timer.
    bool HasWaitableTimer() const { return m_hWaitableTimer != nullptr; }

private:
    static void CALLBACK Tick(UINT id, UINT message, DWORD_PTR user, DWORD_PTR reserved1, DWORD_PTR reserved2);
    bool WaitForNextTick();
    bool WaitOnWaitableTimer(uint32_t milliseconds);
    bool WaitOnMultimediaTimer(uint32_t milliseconds);

    UINT m_uiTimerId;
    std::atomic<uint64_t> m_uiTickCount;
    HANDLE m_hEvent;
    HANDLE m_hWaitableTimer;
    // The waitable timer is armed periodic (WaitOneMillisecond), not once-only (Wait).
    bool m_bTicking = false;
};
