#include "runtime/CEventHandle.h"

CEventHandle::~CEventHandle()
{
    Close();
}

CEventHandle::CEventHandle(CEventHandle&& other) noexcept
    : hEvent(other.hEvent), uiSignaled(other.uiSignaled.load(std::memory_order_acquire))
{
    other.hEvent = nullptr;
    other.uiSignaled.store(0, std::memory_order_release);
}

CEventHandle& CEventHandle::operator=(CEventHandle&& other) noexcept
{
    if (this != &other)
    {
        Close();
        hEvent = other.hEvent;
        uiSignaled.store(other.uiSignaled.load(std::memory_order_acquire), std::memory_order_release);
        other.hEvent = nullptr;
        other.uiSignaled.store(0, std::memory_order_release);
    }
    return *this;
}

int32_t CEventHandle::Create(bool bManualReset)
{
    Close();
    const DWORD flags = bManualReset ? CREATE_EVENT_MANUAL_RESET : 0;
    hEvent = CreateEventExW(nullptr, nullptr, flags, SYNCHRONIZE | EVENT_MODIFY_STATE);
    uiSignaled.store(0, std::memory_order_release);
    return hEvent != nullptr ? 1 : -1;
}

int32_t CEventHandle::Set()
{
    if (hEvent == nullptr)
        return -1;
    if (uiSignaled.load(std::memory_order_acquire) == 1)
        return 1;
    if (!SetEvent(hEvent))
        return -1;
    uiSignaled.store(1, std::memory_order_release);
    return 1;
}

int32_t CEventHandle::Reset()
{
    if (hEvent == nullptr)
        return -1;
    if (uiSignaled.load(std::memory_order_acquire) == 0)
        return 1;
    if (!ResetEvent(hEvent))
        return -1;
    uiSignaled.store(0, std::memory_order_release);
    return 1;
}

int32_t CEventHandle::Close()
{
    uiSignaled.store(0, std::memory_order_release);
    if (hEvent == nullptr)
        return 1;
    if (!CloseHandle(hEvent))
        return -1;
    hEvent = nullptr;
    return 1;
}

bool CEventHandle::IsSignaled() const
{
    return uiSignaled.load(std::memory_order_acquire) == 1;
}
