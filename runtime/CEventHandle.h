#pragma once

#include <windows.h>

#include <cstdint>

// A Windows event handle with a flag recording that the event was set, so that Set and
// Reset call the system only on a real change of state.
struct CEventHandle
{
    HANDLE hEvent = nullptr;
    uint32_t uiSignaled = 0;

    // Creates a fresh, non-signalled event (closing any previous one): 1, or -1 on failure.
    int32_t Create(bool bManualReset);
    int32_t Set();
    int32_t Reset();
    int32_t Close();
    // True when a zero-time wait on the event succeeds.
    bool IsSignaled() const;
};
