#include "tests/device/TaskMemorySpy.h"

TaskMemorySpy::TaskMemorySpy()
{
    m_bRegistered = SUCCEEDED(CoRegisterMallocSpy(this));
}

TaskMemorySpy::~TaskMemorySpy()
{
    if (m_bRegistered)
        CoRevokeMallocSpy();
}

bool TaskMemorySpy::WasFreed(void* block) const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Freed.count(block) != 0;
}

HRESULT TaskMemorySpy::QueryInterface(REFIID iid, void** out)
{
    if (out == nullptr)
        return E_POINTER;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IMallocSpy))
    {
        *out = static_cast<IMallocSpy*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

void* TaskMemorySpy::PreFree(void* request, BOOL)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Freed.insert(request);
    return request;
}
