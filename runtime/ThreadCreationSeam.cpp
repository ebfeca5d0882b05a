#include "runtime/ThreadCreationSeam.h"

#include <atomic>

namespace
{
std::atomic<ThreadCreator> g_Creator{nullptr};
}

HANDLE CreateSuspendedThread(LPTHREAD_START_ROUTINE entry, void* parameter, DWORD* threadId)
{
    const ThreadCreator creator = g_Creator.load();
    if (creator != nullptr)
        return creator(entry, parameter, threadId);
    return CreateThread(nullptr, 0, entry, parameter, CREATE_SUSPENDED, threadId);
}

ThreadCreator SetThreadCreator(ThreadCreator creator)
{
    return g_Creator.exchange(creator);
}
