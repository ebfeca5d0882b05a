#include "runtime/CWorkerThread.h"

#include "runtime/CMmcssRegistration.h"
#include "runtime/Status.h"
#include "runtime/ThreadCreationSeam.h"

#include "tests/runtime/MessageBoxRecorder.h"
#include "tests/runtime/ProcessUsage.h"

#include <avrt.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>

namespace
{
std::atomic<int> g_Ended{0};

// Ends, counted, when its worker's termination event is set.
int64_t RunUntilStopped(CWorkerContext* context)
{
    while (!context->pOwner->GetTerminationEvent()->IsSignaled())
        Sleep(1);
    ++g_Ended;
    return 1;
}

// Result: index, thread count and the owner's "value" parameter packed together.
int64_t ReportContext(CWorkerContext* context)
{
    uint64_t value = 0;
    if (context->pOwner->GetParameter(L"value", &value) != kStatusSuccess || context->uiReserved != 0)
        return -1;
    return static_cast<int64_t>(value * 100 + context->uiThreadCount * 10 + context->uiIndex);
}

// A thread registered with the scheduler service as audio gets its priority from the service,
// which lowers it when the thread has used up its share: only an unregistered thread reports the
// priority its worker gave it.
constexpr int64_t kRegistered = 100;

int64_t ReportPriority(CWorkerContext*)
{
    return CMmcssRegistration::IsThreadRegistered() ? kRegistered : GetThreadPriority(GetCurrentThread());
}

// 0 when the Multimedia Class Scheduler Service registers a thread as audio, else the error it
// gave: asked of avrt.dll directly, not through the code under test. Server images may lack it.
DWORD SchedulerServiceError()
{
    DWORD taskIndex = 0;
    const HANDLE task = AvSetMmThreadCharacteristicsW(L"Pro Audio", &taskIndex);
    if (task == nullptr)
        return GetLastError();
    AvRevertMmThreadCharacteristics(task);
    return ERROR_SUCCESS;
}

int64_t CountRun(CWorkerContext*)
{
    ++g_Ended;
    return 1;
}

// Thread creation that fails on every second call, as CreateThread fails: a null handle.
HANDLE CreateEverySecondThread(LPTHREAD_START_ROUTINE entry, void* parameter, DWORD* threadId)
{
    static int calls = 0;
    if (++calls % 2 == 0)
        return nullptr;
    return CreateThread(nullptr, 0, entry, parameter, CREATE_SUSPENDED, threadId);
}

void StopJoinRelease(CWorkerThread& worker)
{
    worker.RequestStop();
    ASSERT_EQ(kStatusSuccess, worker.Join());
    ASSERT_EQ(kStatusSuccess, worker.Release());
}

void RunOneCycle()
{
    CWorkerThread worker;
    ASSERT_EQ(kStatusAdded, worker.SetParameter(L"pSoundBuffer", 1));
    ASSERT_EQ(kStatusAdded, worker.AllocateMultichannelBuffer(256 * 1024));
    ASSERT_EQ(kStatusSuccess, worker.Prepare(1));
    ASSERT_EQ(kStatusSuccess, worker.SetTimeCritical());
    ASSERT_EQ(kStatusSuccess, worker.Start(&RunUntilStopped));
    StopJoinRelease(worker);
}
}

// The first parameter prepares one thread per processor; each thread reads the parameters,
// which stay readable until Release.
TEST(CWorkerThread, ThreadsReadTheirParametersAndReportResults)
{
    CWorkerThread worker;
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    EXPECT_EQ(info.dwNumberOfProcessors, worker.GetProcessorCount());
    EXPECT_EQ(3, worker.GetPriorityClass());

    EXPECT_EQ(kStatusAdded, worker.SetParameter(L"value", 4));
    EXPECT_EQ(CWorkerThread::Prepared, worker.GetState());
    EXPECT_EQ(worker.GetProcessorCount(), worker.GetThreadCount());
    EXPECT_EQ(kStatusReplaced, worker.SetParameter(L"value", 7));
    uint64_t value = 9;
    EXPECT_EQ(kStatusNameNotFound, worker.GetParameter(L"missing", &value));
    EXPECT_EQ(0u, value);
    EXPECT_EQ(kStatusInvalidArgument, worker.SetParameter(nullptr, 1));
    EXPECT_EQ(kStatusInvalidArgument, worker.Start(nullptr));

    ASSERT_EQ(kStatusSuccess, worker.Prepare(3));
    ASSERT_EQ(kStatusSuccess, worker.Start(&ReportContext));
    // Not asked to stop: Join waits until the threads end by themselves.
    ASSERT_EQ(kStatusSuccess, worker.Join());
    for (uint64_t i = 0; i < 3; ++i)
        EXPECT_EQ(static_cast<int64_t>(730 + i), worker.GetResult(i));
    EXPECT_EQ(0, worker.GetResult(3));
    EXPECT_EQ(kStatusSuccess, worker.GetParameter(L"value", &value));
    EXPECT_EQ(kStatusSuccess, worker.Release());
    EXPECT_EQ(kStatusNameNotFound, worker.GetParameter(L"value", &value));
}

// One worker through its states. In each, every operation out of turn returns its status and
// changes nothing: the state stays, the termination event is set only once a stop was requested,
// and no parameter is taken. Then the step in turn (`next`) moves it on. Its thread ends at once,
// but the worker stays running until asked to stop.
TEST(CWorkerThread, OperationsOutOfTurnAreRefusedAndChangeNothing)
{
    using Operation = int32_t (*)(CWorkerThread&);
    const Operation operations[] = {
        [](CWorkerThread& w) { return w.Prepare(1); },
        [](CWorkerThread& w) { return w.SetParameter(L"new", 2); },
        [](CWorkerThread& w) { return w.Start(&CountRun); },
        [](CWorkerThread& w) { return w.Join(); },
        [](CWorkerThread& w) { return w.Release(); },
        [](CWorkerThread& w) { return w.RequestStop(), kStatusNothingDone; },
    };
    // RequestStop returns nothing: its column reads as "nothing done".
    constexpr int32_t kInTurn = 99, kFailure = kStatusFailure, kNothing = kStatusNothingDone;
    const struct
    {
        CWorkerThread::State state;
        int32_t status[6];
        size_t next;
    } rows[] = {
        {CWorkerThread::Empty, {kInTurn, kInTurn, kFailure, kNothing, kNothing, kNothing}, 0},
        {CWorkerThread::Prepared, {kInTurn, kInTurn, kInTurn, kNothing, kFailure, kNothing}, 2},
        {CWorkerThread::Running, {kFailure, kFailure, kFailure, kInTurn, kFailure, kInTurn}, 5},
        {CWorkerThread::StopRequested, {kFailure, kFailure, kFailure, kInTurn, kFailure, kNothing}, 3},
        {CWorkerThread::Joined, {kFailure, kFailure, kFailure, kNothing, kInTurn, kNothing}, 4},
    };
    // Were a step out of turn to leave it running, its end would warn in a box: recorded, not shown.
    MessageBoxRecorder boxes;
    CWorkerThread worker;
    for (const auto& row : rows)
    {
        for (size_t i = 0; i < 6; ++i)
        {
            if (row.status[i] == kInTurn)
                continue;
            SCOPED_TRACE("state " + std::to_string(row.state) + ", operation " + std::to_string(i));
            EXPECT_EQ(row.status[i], operations[i](worker));
            EXPECT_EQ(row.state, worker.GetState());
            EXPECT_EQ(row.state >= CWorkerThread::Joined, worker.GetTerminationEvent()->IsSignaled());
            uint64_t value = 0;
            EXPECT_EQ(kStatusNameNotFound, worker.GetParameter(L"new", &value));
        }
        operations[row.next](worker);
    }
    EXPECT_EQ(CWorkerThread::Empty, worker.GetState());
}

// The event set by the last stop is cleared by the next start: its thread runs until stopped again.
TEST(CWorkerThread, NextStartClearsTheTerminationEvent)
{
    CWorkerThread worker;
    for (int run = 0; run < 2; ++run)
    {
        ASSERT_EQ(kStatusSuccess, worker.Prepare(1));
        ASSERT_EQ(kStatusSuccess, worker.Start(&RunUntilStopped));
        EXPECT_FALSE(worker.GetTerminationEvent()->IsSignaled()) << "run " << run;
        StopJoinRelease(worker);
    }
}

// Where the service is missing, time-critical threads run unregistered at the priority set.
TEST(CWorkerThread, TimeCriticalReachesTheThreadsRegisteredAsAudio)
{
    const DWORD serviceError = SchedulerServiceError();
    const int64_t timeCritical = serviceError == ERROR_SUCCESS ? kRegistered : THREAD_PRIORITY_TIME_CRITICAL;
    CWorkerThread worker;
    ASSERT_EQ(kStatusSuccess, worker.Prepare(2));
    EXPECT_EQ(kStatusSuccess, worker.SetTimeCritical());
    EXPECT_EQ(0, worker.GetPriorityClass());
    ASSERT_EQ(kStatusSuccess, worker.Start(&ReportPriority));
    ASSERT_EQ(kStatusSuccess, worker.Join());
    EXPECT_EQ(timeCritical, worker.GetResult(0));
    EXPECT_EQ(timeCritical, worker.GetResult(1));
    ASSERT_EQ(kStatusSuccess, worker.Release());
    EXPECT_EQ(3, worker.GetPriorityClass());
    EXPECT_EQ(0u, worker.GetThreadCount());
    // Back at normal priority: not registered.
    ASSERT_EQ(kStatusSuccess, worker.Prepare(1));
    ASSERT_EQ(kStatusSuccess, worker.Start(&ReportPriority));
    ASSERT_EQ(kStatusSuccess, worker.Join());
    EXPECT_EQ(THREAD_PRIORITY_NORMAL, worker.GetResult(0));
    ASSERT_EQ(kStatusSuccess, worker.Release());
    if (serviceError != ERROR_SUCCESS)
        GTEST_SKIP() << "the Multimedia Class Scheduler Service refused to register a thread (error " << serviceError
                     << "): the registration as audio is not checked, only the priorities";
    {
        const CMmcssRegistration registration;
        EXPECT_TRUE(CMmcssRegistration::IsThreadRegistered());
    }
    EXPECT_FALSE(CMmcssRegistration::IsThreadRegistered()) << "reverted by its owner";
}

TEST(CWorkerThread, MultichannelBufferIsReplacedAndForgottenOnRelease)
{
    CWorkerThread worker;
    void* buffer = &worker;
    uint64_t bytes = 5;
    EXPECT_EQ(kStatusFailure, worker.GetMultichannelBuffer(&buffer, &bytes));
    EXPECT_EQ(nullptr, buffer);
    EXPECT_EQ(0u, bytes);
    EXPECT_EQ(kStatusInvalidArgument, worker.AllocateMultichannelBuffer(0));

    ASSERT_EQ(kStatusAdded, worker.AllocateMultichannelBuffer(4096));
    ASSERT_EQ(kStatusSuccess, worker.GetMultichannelBuffer(&buffer, &bytes));
    ASSERT_NE(nullptr, buffer);
    EXPECT_EQ(4096u, bytes);
    const unsigned char* first = static_cast<const unsigned char*>(buffer);
    for (size_t i = 0; i < 4096; ++i)
        ASSERT_EQ(0, first[i]);

    ASSERT_EQ(kStatusReplaced, worker.AllocateMultichannelBuffer(8192));
    void* second = nullptr;
    ASSERT_EQ(kStatusSuccess, worker.GetMultichannelBuffer(&second, &bytes));
    EXPECT_NE(buffer, second);
    EXPECT_EQ(8192u, bytes);

    ASSERT_EQ(kStatusSuccess, worker.Prepare(1));
    ASSERT_EQ(kStatusSuccess, worker.Start(&RunUntilStopped));
    StopJoinRelease(worker);
    EXPECT_EQ(kStatusFailure, worker.GetMultichannelBuffer(&buffer, &bytes));
    EXPECT_EQ(nullptr, buffer);
}

TEST(CWorkerThread, DestroyingARunningWorkerWarnsAndEndsItsThreadFirst)
{
    MessageBoxRecorder boxes;
    const HWND dialog = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));
    SetDefaultMessageBoxOwner(dialog);
    g_Ended = 0;
    {
        CWorkerThread worker;
        ASSERT_EQ(kStatusSuccess, worker.Prepare(1));
        ASSERT_EQ(kStatusSuccess, worker.Start(&RunUntilStopped));
    }
    EXPECT_EQ(1, g_Ended.load());
    EXPECT_EQ(1, boxes.iCount);
    EXPECT_EQ(L"Thread is still running.", boxes.Text);
    EXPECT_EQ(L"Error", boxes.Caption);
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), boxes.uiType & MB_ICONMASK);
    EXPECT_EQ(dialog, boxes.hOwner) << "owned by the program's window, which it blocks";
    SetDefaultMessageBoxOwner(nullptr);
}

TEST(CWorkerThread, ThreadThatCannotBeCreatedFailsTheStartAndLeavesTheWorkerPrepared)
{
    MessageBoxRecorder boxes;
    g_Ended = 0;
    CWorkerThread worker;
    ASSERT_EQ(kStatusSuccess, worker.Prepare(3));
    const ThreadCreator previous = SetThreadCreator(&CreateEverySecondThread);
    const ProcessUsage before = MeasureProcessUsage();
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(kStatusNotCreated, worker.Start(&CountRun));
    const ProcessUsage after = MeasureProcessUsage();
    SetThreadCreator(previous);
    EXPECT_EQ(CWorkerThread::Prepared, worker.GetState());
    EXPECT_EQ(0, g_Ended.load()) << "the threads created before the failure never ran the function";
    EXPECT_LE(after.uiHandles, before.uiHandles + 5) << "their handles are closed";
    EXPECT_EQ(50, boxes.iCount);
    EXPECT_EQ(L"Failed in creating a thread.", boxes.Text);

    ASSERT_EQ(kStatusSuccess, worker.Start(&CountRun));
    ASSERT_EQ(kStatusSuccess, worker.Join());
    EXPECT_EQ(3, g_Ended.load());
    EXPECT_EQ(kStatusSuccess, worker.Release());
}

TEST(CWorkerThread, NoHandleOrMemoryGrowthOverManyCycles)
{
    // Warm up: the first cycles create the process's lasting thread and heap structures.
    for (int i = 0; i < 5; ++i)
        RunOneCycle();
    const ProcessUsage before = MeasureProcessUsage();
    ASSERT_GT(before.uiHandles, 0u);
    ASSERT_GT(before.uiPrivateBytes, 0u);
    for (int i = 0; i < 200; ++i)
        RunOneCycle();
    const ProcessUsage after = MeasureProcessUsage();
    // A leak of one handle, or of the 256 KiB block, per cycle would be 200 handles or 50 MiB.
    EXPECT_LE(after.uiHandles, before.uiHandles + 5);
    EXPECT_LE(after.uiPrivateBytes, before.uiPrivateBytes + 4 * 1024 * 1024);
}
