#pragma once

#include "runtime/CHandleHolder.h"

#include <windows.h>

#include <string>

// One run of corvane-wasapi.exe. Ends the process if the test leaves it running.
class CProgramUnderTest
{
public:
    CProgramUnderTest() = default;
    ~CProgramUnderTest();
    CProgramUnderTest(const CProgramUnderTest&) = delete;
    CProgramUnderTest& operator=(const CProgramUnderTest&) = delete;

    bool Start(const std::wstring& program);
    // Waits up to timeoutMs for the process to end; true with *exitCode when it did.
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode);
    // Open handles of the process in the system handle table, or -1 when it cannot be read.
    long HandleCount() const;
    DWORD ProcessId() const { return m_uiProcessId; }
    HANDLE Process() const { return m_hProcess; }

    // From now on, hears of every process the program starts (it is put in a job object).
    bool TrackStartedProcesses();
    // The image path of the first process started since whose path ends in fileName; empty when
    // none started within timeoutMs, "?" for one that ended before its path could be read.
    std::wstring WaitForStartedProcess(const std::wstring& fileName, DWORD timeoutMs);

private:
    HANDLE m_hProcess = nullptr;
    DWORD m_uiProcessId = 0;
    CHandleHolder m_Job;
    CHandleHolder m_JobPort;
};

// The path Wine's Z: drive gives a Unix path.
std::wstring WindowsPathOf(const std::string& unixPath);
