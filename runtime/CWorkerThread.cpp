#include "runtime/CWorkerThread.h"

#include "runtime/BoundedString.h"
#include "runtime/CMmcssRegistration.h"
#include "runtime/MessageBoxSeam.h"
#include "runtime/Status.h"
#include "runtime/ThreadCreationSeam.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace
{
constexpr size_t kKeyCapacity = 1024;

// The parameter key of name: "*::" followed by name, cut to at most 1023 characters.
std::wstring ScopedName(const wchar_t* name)
{
    wchar_t key[kKeyCapacity] = L"";
    AppendWideString(key, kKeyCapacity, L"*");
    AppendWideString(key, kKeyCapacity, L"::");
    AppendWideString(key, kKeyCapacity, name);
    return std::wstring(key);
}

int PriorityValue(int32_t priorityClass)
{
    static const int kValues[] = {
        THREAD_PRIORITY_TIME_CRITICAL, THREAD_PRIORITY_HIGHEST, THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_NORMAL,
        THREAD_PRIORITY_BELOW_NORMAL,  THREAD_PRIORITY_LOWEST,  THREAD_PRIORITY_IDLE};
    if (priorityClass < 0 || priorityClass > 6)
        return THREAD_PRIORITY_NORMAL;
    return kValues[priorityClass];
}

// A time-critical thread also runs its function registered with the scheduler service as
// audio, and the registration is reverted before the thread ends.
int64_t RunAtThreadPriority(WorkerThreadFunction function, CWorkerContext* context)
{
    if (GetThreadPriority(GetCurrentThread()) != THREAD_PRIORITY_TIME_CRITICAL)
        return function(context);
    const CMmcssRegistration registration;
    return function(context);
}

uint64_t LogicalProcessorCount()
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors;
}

void* BlockAddress(uint64_t value)
{
    return reinterpret_cast<void*>(static_cast<uintptr_t>(value));
}

uint64_t AddressValue(const void* block)
{
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(block));
}
}

CWorkerThread::CWorkerThread()
    : m_State(Empty), m_Abandoned(false), m_uiThreadCount(0), m_iPriorityClass(3),
      m_uiProcessorCount(LogicalProcessorCount()), m_pfnFunction(nullptr)
{
    m_TerminationEvent.Create(true);
}

CWorkerThread::~CWorkerThread()
{
    const int32_t state = m_State.load();
    if (state == Running)
        ShowMessageBox(nullptr, L"Thread is still running.", L"Error", MB_OK | MB_ICONWARNING);
    // Nothing may be freed under a live thread: end it first.
    if (state == Running || state == StopRequested)
    {
        RequestStop();
        Join();
    }
    Release();
    // A worker destroyed while only prepared still owns the blocks registered with it.
    FreeBlocks();
    m_uiThreadCount = 0;
    m_uiProcessorCount = 0;
    m_TerminationEvent.Close();
}

int32_t CWorkerThread::Prepare(uint64_t threads)
{
    if (m_State.load() >= Running)
        return kStatusFailure;
    const uint64_t n = threads == 0 ? m_uiProcessorCount : threads;
    const size_t count = static_cast<size_t>(n);
    std::unique_ptr<DWORD[]> ids(new DWORD[count]());
    std::unique_ptr<CHandleHolder[]> handles(new CHandleHolder[count]());
    std::unique_ptr<DWORD[]> exitCodes(new DWORD[count]());
    std::unique_ptr<int64_t[]> results(new int64_t[count]());
    std::unique_ptr<CWorkerContext[]> contexts(new CWorkerContext[count]());
    for (uint64_t i = 0; i < n; ++i)
        contexts[i] = CWorkerContext{i, n, this, 0};
    m_ThreadIds = std::move(ids);
    m_ThreadHandles = std::move(handles);
    m_ExitCodes = std::move(exitCodes);
    m_Results = std::move(results);
    m_Contexts = std::move(contexts);
    m_uiThreadCount = n;
    m_State = Prepared;
    return kStatusSuccess;
}

int32_t CWorkerThread::SetParameter(const wchar_t* name, uint64_t value)
{
    if (name == nullptr)
        return kStatusInvalidArgument;
    if (m_State.load() != Prepared && Prepare(0) != kStatusSuccess)
        return kStatusFailure;
    return m_Parameters.SetUnsigned(ScopedName(name).c_str(), value);
}

int32_t CWorkerThread::GetParameter(const wchar_t* name, uint64_t* out)
{
    if (out == nullptr)
        return kStatusInvalidArgument;
    *out = 0;
    if (name == nullptr)
        return kStatusInvalidArgument;
    return m_Parameters.GetUnsigned(ScopedName(name).c_str(), out);
}

int32_t CWorkerThread::SetTimeCritical()
{
    m_iPriorityClass = 0;
    if (m_State.load() != Running)
        return kStatusSuccess;
    bool failed = false;
    for (uint64_t i = 0; i < m_uiThreadCount; ++i)
    {
        if (!m_ThreadHandles[i] || !SetThreadPriority(m_ThreadHandles[i].Get(), PriorityValue(m_iPriorityClass)))
            failed = true;
    }
    return failed ? kStatusFailure : kStatusSuccess;
}

int32_t CWorkerThread::Start(WorkerThreadFunction function)
{
    if (function == nullptr)
        return kStatusInvalidArgument;
    // Starting again over live or unjoined threads would lose their handles.
    if (m_State.load() != Prepared)
        return kStatusFailure;
    m_pfnFunction = function;
    if (!CreateThreads())
        return kStatusNotCreated;
    if (m_TerminationEvent.IsSignaled())
        m_TerminationEvent.Reset();
    m_State = Running;
    for (uint64_t i = 0; i < m_uiThreadCount; ++i)
        ResumeThread(m_ThreadHandles[i].Get());
    return kStatusSuccess;
}

// Creates every thread suspended; none runs until all exist, so that a failure part-way can
// still leave the worker as it was.
bool CWorkerThread::CreateThreads()
{
    m_Abandoned = false;
    for (uint64_t i = 0; i < m_uiThreadCount; ++i)
    {
        m_Contexts[i].uiReserved = 0;
        m_Results[i] = 0;
        m_ThreadHandles[i].Reset(CreateSuspendedThread(&CWorkerThread::ThreadEntry, &m_Contexts[i], &m_ThreadIds[i]));
        if (!m_ThreadHandles[i])
        {
            ShowMessageBox(nullptr, L"Failed in creating a thread.", L"DEBUG", MB_OK | MB_ICONERROR);
            AbandonThreads();
            return false;
        }
        SetThreadPriority(m_ThreadHandles[i].Get(), PriorityValue(m_iPriorityClass));
    }
    return true;
}

// Lets the threads created so far end without running the function, and closes them.
void CWorkerThread::AbandonThreads()
{
    m_Abandoned = true;
    for (uint64_t i = 0; i < m_uiThreadCount; ++i)
    {
        if (m_ThreadHandles[i])
            ResumeThread(m_ThreadHandles[i].Get());
    }
    WaitForThreads();
    for (uint64_t i = 0; i < m_uiThreadCount; ++i)
        m_ThreadHandles[i].Reset();
}

DWORD WINAPI CWorkerThread::ThreadEntry(LPVOID parameter)
{
    CWorkerContext* context = static_cast<CWorkerContext*>(parameter);
    CWorkerThread* owner = context->pOwner;
    if (owner->m_Abandoned.load())
        return 0;
    const int64_t result = RunAtThreadPriority(owner->m_pfnFunction, context);
    if (owner->m_State.load() != Empty && context->uiIndex < owner->m_uiThreadCount)
        owner->m_Results[context->uiIndex] = result;
    return 0;
}

void CWorkerThread::RequestStop()
{
    if (m_State.load() != Running)
        return;
    m_TerminationEvent.Set();
    m_State = StopRequested;
}

int32_t CWorkerThread::Join()
{
    const int32_t state = m_State.load();
    if (state != Running && state != StopRequested)
        return kStatusNothingDone;
    WaitForThreads();
    for (uint64_t i = 0; i < m_uiThreadCount; ++i)
    {
        if (m_ThreadHandles[i])
            GetExitCodeThread(m_ThreadHandles[i].Get(), &m_ExitCodes[i]);
    }
    m_State = Joined;
    return kStatusSuccess;
}

void CWorkerThread::WaitForThreads()
{
    // Threads that were never created have no handle, and one wait takes at most
    // MAXIMUM_WAIT_OBJECTS handles.
    HANDLE batch[MAXIMUM_WAIT_OBJECTS];
    DWORD filled = 0;
    for (uint64_t i = 0; i <= m_uiThreadCount; ++i)
    {
        const bool last = i == m_uiThreadCount;
        if (!last && m_ThreadHandles[i])
            batch[filled++] = m_ThreadHandles[i].Get();
        if (filled == MAXIMUM_WAIT_OBJECTS || (last && filled > 0))
        {
            WaitForMultipleObjects(filled, batch, TRUE, INFINITE);
            filled = 0;
        }
    }
}

int32_t CWorkerThread::Release()
{
    const int32_t state = m_State.load();
    if (state == Empty)
        return kStatusNothingDone;
    if (state != Joined)
        return kStatusFailure;
    FreeThreads();
    FreeBlocks();
    m_Blocks.Clear();
    m_BlockSizes.Clear();
    m_Parameters.Clear();
    return kStatusSuccess;
}

void CWorkerThread::FreeThreads()
{
    m_Contexts.reset();
    m_Results.reset();
    m_ExitCodes.reset();
    m_ThreadHandles.reset();
    m_ThreadIds.reset();
    // The per-thread arrays are gone: no count may index them any more.
    m_uiThreadCount = 0;
    m_iPriorityClass = 3;
    m_State = Empty;
}

void CWorkerThread::FreeBlocks()
{
    for (int32_t i = 0; i < CParameterTable::kCapacity; ++i)
    {
        uint64_t address = 0;
        if (m_Blocks.GetUnsignedAt(i, &address) != kStatusSuccess)
            break;
        if (address != 0)
            std::free(BlockAddress(address));
    }
}

int64_t CWorkerThread::GetResult(uint64_t index) const
{
    if (index >= m_uiThreadCount || !m_Results)
        return 0;
    return m_Results[index];
}

int32_t CWorkerThread::GetMultichannelBuffer(void** buffer, uint64_t* bytes)
{
    if (buffer == nullptr || bytes == nullptr)
        return kStatusInvalidArgument;
    *buffer = nullptr;
    *bytes = 0;
    const std::wstring key = ScopedName(kMultichannelBufferName);
    uint64_t size = 0;
    uint64_t address = 0;
    if (m_BlockSizes.GetUnsigned(key.c_str(), &size) != kStatusSuccess ||
        m_Blocks.GetUnsigned(key.c_str(), &address) != kStatusSuccess)
        return kStatusFailure;
    *buffer = BlockAddress(address);
    *bytes = size;
    return kStatusSuccess;
}

int32_t CWorkerThread::AllocateMultichannelBuffer(uint64_t bytes)
{
    if (bytes == 0)
        return kStatusInvalidArgument;
    if (bytes > SIZE_MAX)
        return kStatusNotCreated;
    void* block = std::calloc(static_cast<size_t>(bytes), 1);
    if (block == nullptr)
        return kStatusNotCreated;
    const std::wstring key = ScopedName(kMultichannelBufferName);
    void* previous = nullptr;
    uint64_t previousBytes = 0;
    if (GetMultichannelBuffer(&previous, &previousBytes) == kStatusSuccess)
    {
        std::free(previous);
        // Forget the freed address at once, so that no later failure leaves it to be freed twice.
        m_Blocks.SetUnsigned(key.c_str(), 0);
        m_BlockSizes.SetUnsigned(key.c_str(), 0);
    }
    const int32_t sizeStatus = m_BlockSizes.SetUnsigned(key.c_str(), bytes);
    if (sizeStatus < 0)
    {
        std::free(block);
        return sizeStatus;
    }
    const int32_t addressStatus = m_Blocks.SetUnsigned(key.c_str(), AddressValue(block));
    if (addressStatus < 0)
    {
        m_BlockSizes.SetUnsigned(key.c_str(), 0);
        std::free(block);
    }
    return addressStatus;
}
