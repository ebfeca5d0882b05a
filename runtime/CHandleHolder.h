#pragma once

#include <windows.h>

// Owns one kernel handle (a thread, a process) and closes it exactly once: on Reset, on
// destruction, or on being replaced. Move-only, so that an array of them can be handed on.
class CHandleHolder
{
public:
    CHandleHolder() = default;
    explicit CHandleHolder(HANDLE handle) : m_hHandle(handle) {}
    ~CHandleHolder() { Reset(); }

    CHandleHolder(const CHandleHolder&) = delete;
    CHandleHolder& operator=(const CHandleHolder&) = delete;
    CHandleHolder(CHandleHolder&& other) noexcept : m_hHandle(other.m_hHandle) { other.m_hHandle = nullptr; }
    CHandleHolder& operator=(CHandleHolder&& other) noexcept
    {
        if (this != &other)
        {
            Reset();
            m_hHandle = other.m_hHandle;
            other.m_hHandle = nullptr;
        }
        return *this;
    }

    HANDLE Get() const { return m_hHandle; }
    explicit operator bool() const { return m_hHandle != nullptr; }

    void Reset(HANDLE handle = nullptr)
    {
        const HANDLE held = m_hHandle;
        m_hHandle = handle;
        if (held != nullptr)
            CloseHandle(held);
    }

private:
    HANDLE m_hHandle = nullptr;
};
