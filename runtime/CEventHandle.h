#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

// A Windows event handle with a flag recording that the event was set, so that Set and
// Reset call the system only on a real change of state. Owns the handle: closes it on
// destruction; moving hands the handle and the flag on and leaves the source empty.
struct CEventHandle
{
    HANDLE hEvent = nullptr;
    // Written by Set, Reset, Create and Close; read by IsSignaled from other threads. Under
    // Wine every wait on a handle, a zero-time poll too, is a round trip to the server process
    // (milliseconds under load), so the real-time loops test this flag instead of the handle.
    // It reflects Set on this object only, not a SetEvent on the raw handle from elsewhere.
    std::atomic<uint32_t> uiSignaled{0};

    CEventHandle() = default;
    ~CEventHandle();
    CEventHandle(const CEventHandle&) = delete;
    CEventHandle& operator=(const CEventHandle&) = delete;
    CEventHandle(CEventHandle&& other) noexcept;
    CEventHandle& operator=(CEventHandle&& other) noexcept;

    // Creates a fresh, non-signalled event (closing any previous one): 1, or -1 on failure.
    int32_t Create(bool bManualReset);
    int32_t Set();
    int32_t Reset();
    int32_t Close();
    // True once Set has succeeded and until Reset or Close: a memory read, no system call.
    bool IsSignaled() const;
};
