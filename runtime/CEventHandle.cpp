#include "runtime/CEventHandle.h"

int32_t CEventHandle::Create(bool bManualReset)
{
    Close();
    const DWORD flags = bManualReset ? CREATE_EVENT_MANUAL_RESET : 0;
    hEvent = CreateEventExW(nullptr, nullptr, flags, SYNCHRONIZE | EVENT_MODIFY_STATE);
    uiSignaled = 0;
    return hEvent != nullptr ? 1 : -1;
}

int32_t CEventHandle::Set()
{
    if (hEvent == nullptr)
        return -1;
    if (uiSignaled == 1)
        return 1;
    if (!SetEvent(hEvent))
        return -1;
    uiSignaled = 1;
    return 1;
}

int32_t CEventHandle::Reset()
{
    if (hEvent == nullptr)
        return -1;
    if (uiSignaled == 0)
        return 1;
    if (!ResetEvent(hEvent))
        return -1;
    uiSignaled = 0;
    return 1;
}

int32_t CEventHandle::Close()
{
    uiSignaled = 0;
    if (hEvent == nullptr)
        return 1;
    if (!CloseHandle(hEvent))
        return -1;
    hEvent = nullptr;
    return 1;
}

bool CEventHandle::IsSignaled() const
{
    return hEvent != nullptr && WaitForSingleObject(hEvent, 0) == WAIT_OBJECT_0;
}
