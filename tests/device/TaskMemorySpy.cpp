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

void* TaskMemorySpy::PostAlloc(void* actual)
{
    if (actual != nullptr)
        ++m_iOutstanding;
    return actual;
}

// `spied`: the block was handed out while this spy watched.
void* TaskMemorySpy::PreFree(void* request, BOOL spied)
{
    if (request != nullptr && spied)
        --m_iOutstanding;
    return request;
}
