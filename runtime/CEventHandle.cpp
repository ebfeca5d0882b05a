#include "runtime/CEventHandle.h"

#include "runtime/Status.h"

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
    return hEvent != nullptr ? kStatusSuccess : kStatusFailure;
}

int32_t CEventHandle::Set()
{
    if (hEvent == nullptr)
        return kStatusFailure;
    if (uiSignaled.load(std::memory_order_acquire) == 1)
        return kStatusSuccess;
    if (!SetEvent(hEvent))
        return kStatusFailure;
    uiSignaled.store(1, std::memory_order_release);
    return kStatusSuccess;
}

int32_t CEventHandle::Reset()
{
    if (hEvent == nullptr)
        return kStatusFailure;
    if (uiSignaled.load(std::memory_order_acquire) == 0)
        return kStatusSuccess;
    if (!ResetEvent(hEvent))
        return kStatusFailure;
    uiSignaled.store(0, std::memory_order_release);
    return kStatusSuccess;
}

int32_t CEventHandle::Close()
{
    uiSignaled.store(0, std::memory_order_release);
    if (hEvent == nullptr)
        return kStatusSuccess;
    if (!CloseHandle(hEvent))
        return kStatusFailure;
    hEvent = nullptr;
    return kStatusSuccess;
}

bool CEventHandle::IsSignaled() const
{
    return uiSignaled.load(std::memory_order_acquire) == 1;
}
