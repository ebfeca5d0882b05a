#pragma once

#include "runtime/CEventHandle.h"
#include "runtime/CHandleHolder.h"
#include "runtime/CParameterTable.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

class CWorkerThread;

// What each thread of a worker receives: its position, the number of threads and the worker.
struct CWorkerContext
{
    uint64_t uiIndex;
    uint64_t uiThreadCount;
    CWorkerThread* pOwner;
    uint64_t uiReserved;
};

using WorkerThreadFunction = int64_t (*)(CWorkerContext*);

// Runs one thread function on a fixed number of threads and carries what they need: named
// parameters (set before the start), a manual-reset termination event, a priority class and
// the memory blocks it frees on Release.
// States: 0 empty, 1 prepared, 2 running, 5 joined, 6 stop requested.
// Use: SetParameter..., AllocateMultichannelBuffer, Prepare(1), SetTimeCritical, Start;
// then RequestStop, Join, Release, destroy.
class CWorkerThread
{
public:
    enum State : int32_t
    {
        Empty = 0,
        Prepared = 1,
        Running = 2,
        Joined = 5,
        StopRequested = 6
    };

    CWorkerThread();
    ~CWorkerThread();
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // Sets up the per-thread records for threads threads (0: one per logical processor):
    // 1, or -1 while running, stopping or joined.
    int32_t Prepare(uint64_t threads);
    // Stores value under "*::" + name, preparing first unless prepared:
    // 3 added, 5 replaced, -1 running or table full, -4 null name.
    int32_t SetParameter(const wchar_t* name, uint64_t value);
    // Sets out to 0, then to the value under "*::" + name: 1, -10 not found, -100 not a number.
    int32_t GetParameter(const wchar_t* name, uint64_t* out);
    // Time-critical priority, applied at once to running threads: 1, or -1 if that failed.
    // A thread that starts at it also runs its function registered with the Multimedia Class
    // Scheduler Service as "Pro Audio" (CMmcssRegistration).
    int32_t SetTimeCritical();
    // Starts the prepared threads on function: 1; -1 unless prepared; -4 for a null function;
    // -2 when a thread cannot be created, after which no thread has run the function and the
    // worker is prepared as before.
    int32_t Start(WorkerThreadFunction function);
    // While running: sets the termination event (once) and moves to stop requested.
    void RequestStop();
    // Waits for every thread to end: 1, or 0 unless running or stop requested.
    int32_t Join();
    // Frees the threads, the registered blocks and the parameters: 1; 0 when empty;
    // -1 unless joined.
    int32_t Release();

    // The name the block is registered under, for a thread that names its inputs.
    static constexpr wchar_t kMultichannelBufferName[] = L"pdfMultiChannelBuffer";

    // The block registered by AllocateMultichannelBuffer and its size in bytes: 1, or -1
    // (both outputs null/0) when none is registered.
    int32_t GetMultichannelBuffer(void** buffer, uint64_t* bytes);
    // Allocates a zero-filled block of bytes bytes and registers it, freeing a block registered
    // before: 3 or 5, -2 out of memory, -4 zero size, other negative table failures.
    int32_t AllocateMultichannelBuffer(uint64_t bytes);

    int32_t GetState() const { return m_State.load(); }
    uint64_t GetThreadCount() const { return m_uiThreadCount; }
    int32_t GetPriorityClass() const { return m_iPriorityClass; }
    uint64_t GetProcessorCount() const { return m_uiProcessorCount; }
    // The result thread index returned (0 for an index out of range or before Join).
    int64_t GetResult(uint64_t index) const;
    // The worker's own event; what it means is its thread function's. RequestStop sets it as
    // "stop" (the synthesizer); a function that ends by itself may set it to say so (the render
    // thread).
    CEventHandle* GetTerminationEvent() { return &m_TerminationEvent; }

private:
    static DWORD WINAPI ThreadEntry(LPVOID parameter);
    bool CreateThreads();
    void AbandonThreads();
    void WaitForThreads();
    void FreeThreads();
    void FreeBlocks();

    std::atomic<int32_t> m_State;
    // Set when a start fails part-way: the threads already created end without running.
    std::atomic<bool> m_Abandoned;
    uint64_t m_uiThreadCount;
    int32_t m_iPriorityClass;
    uint64_t m_uiProcessorCount;
    WorkerThreadFunction m_pfnFunction;
    std::unique_ptr<DWORD[]> m_ThreadIds;
    std::unique_ptr<CHandleHolder[]> m_ThreadHandles;
    std::unique_ptr<DWORD[]> m_ExitCodes;
    std::unique_ptr<int64_t[]> m_Results;
    std::unique_ptr<CWorkerContext[]> m_Contexts;
    // "Stop" or "ended by itself", as the thread function uses it (GetTerminationEvent).
    CEventHandle m_TerminationEvent;
    CParameterTable m_Parameters;
    CParameterTable m_Blocks;
    CParameterTable m_BlockSizes;
};
