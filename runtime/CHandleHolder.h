#pragma once

#include <windows.h>

// Owns one kernel handle (a thread, a process) and closes it exactly once: on Reset, on
// destruction, or on being replaced. Move-only, so that an array of them can be handed on.
class CHandleHolder
{
public:
    CHandleHolder() = default;
    explicit CHandleHolder(HANDLE handle) : m_handle(handle) {}
    ~CHandleHolder() { Reset(); }

    CHandleHolder(const CHandleHolder&) = delete;
    CHandleHolder& operator=(const CHandleHolder&) = delete;
    CHandleHolder(CHandleHolder&& other) noexcept : m_handle(other.m_handle) { other.m_handle = nullptr; }
    CHandleHolder& operator=(CHandleHolder&& other) noexcept
    {
        if (this != &other)
        {
            Reset();
            m_handle = other.m_handle;
            other.m_handle = nullptr;
        }
        return *this;
    }

    HANDLE Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }

    void Reset(HANDLE handle = nullptr)
    {
        const HANDLE held = m_handle;
        m_handle = handle;
        if (held != nullptr)
            CloseHandle(held);
    }

private:
    HANDLE m_handle = nullptr;
};
