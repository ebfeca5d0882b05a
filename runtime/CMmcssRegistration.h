#pragma once

#include <windows.h>

// Registers the calling thread with the Multimedia Class Scheduler Service as a "Pro Audio"
// task while the object lives, so that Windows schedules the thread as it schedules audio;
// the destructor reverts it (on the same thread). Where avrt.dll is missing or the service
// refuses, nothing changes: the thread keeps the priority it has.
class CMmcssRegistration
{
public:
    CMmcssRegistration();
    ~CMmcssRegistration();
    CMmcssRegistration(const CMmcssRegistration&) = delete;
    CMmcssRegistration& operator=(const CMmcssRegistration&) = delete;

    // True on a thread whose registration has not been reverted yet.
    static bool IsThreadRegistered();

private:
    HANDLE m_hTask;
};
