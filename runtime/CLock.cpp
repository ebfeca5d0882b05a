#include "runtime/CLock.h"

#include <new>

#ifdef _WIN32
#include <windows.h>
using NativeLock = CRITICAL_SECTION;
#else
#include <mutex>
using NativeLock = std::recursive_mutex;
#endif

static_assert(sizeof(NativeLock) <= 64, "lock storage too small for the native lock");
static_assert(alignof(NativeLock) <= alignof(void*), "lock storage under-aligned for the native lock");

namespace
{
NativeLock* Native(void* p)
{
    return static_cast<NativeLock*>(p);
}
}

CLock::CLock() : m_Storage{}, m_pSection(nullptr)
{
#ifdef _WIN32
    InitializeCriticalSection(reinterpret_cast<NativeLock*>(m_Storage));
    m_pSection = m_Storage;
#else
    m_pSection = new (m_Storage) NativeLock();
#endif
}

CLock::~CLock()
{
    Destroy();
}

void CLock::Destroy()
{
    if (m_pSection != m_Storage)
        return;
#ifdef _WIN32
    DeleteCriticalSection(Native(m_pSection));
#else
    Native(m_pSection)->~NativeLock();
#endif
    m_pSection = nullptr;
}

void CLock::Enter()
{
    if (m_pSection == nullptr)
        return;
#ifdef _WIN32
    EnterCriticalSection(Native(m_pSection));
#else
    Native(m_pSection)->lock();
#endif
}

void CLock::Leave()
{
    if (m_pSection == nullptr)
        return;
#ifdef _WIN32
    LeaveCriticalSection(Native(m_pSection));
#else
    Native(m_pSection)->unlock();
#endif
}
