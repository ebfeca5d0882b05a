#pragma once

#include "runtime/CLock.h"

// Scoped holder of a CLock: enters on construction, leaves on Release or destruction.
// A second Release does nothing.
class CLockGuard
{
public:
    explicit CLockGuard(CLock& lock) : m_pLock(&lock) { m_pLock->Enter(); }
    explicit CLockGuard(CLock* lock) : m_pLock(lock)
    {
        if (m_pLock != nullptr)
            m_pLock->Enter();
    }
    ~CLockGuard() { Release(); }
    CLockGuard(const CLockGuard&) = delete;
    CLockGuard& operator=(const CLockGuard&) = delete;

    void Release()
    {
        if (m_pLock != nullptr)
            m_pLock->Leave();
        m_pLock = nullptr;
    }

private:
    CLock* m_pLock;
};
