#pragma once

#include "runtime/CHandleHolder.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Hears what other processes of the session write with OutputDebugString, as a debug-output
// viewer does: through the shared buffer "DBWIN_BUFFER" and its two events. One such listener
// can run in a session at a time.
class CDebugOutputMonitor
{
public:
    CDebugOutputMonitor() = default;
    ~CDebugOutputMonitor();
    CDebugOutputMonitor(const CDebugOutputMonitor&) = delete;
    CDebugOutputMonitor& operator=(const CDebugOutputMonitor&) = delete;

    // False when the shared objects cannot be made or another listener holds them.
    bool Start();
    // Waits up to timeoutMs for a line of process processId that starts with prefix, and
    // takes it: each line is returned once. Empty when none came.
    std::string TakeLine(DWORD processId, const std::string& prefix, DWORD timeoutMs);

private:
    void Listen();

    CHandleHolder m_Mapping;
    CHandleHolder m_BufferReady;
    CHandleHolder m_DataReady;
    const char* m_pView = nullptr;
    std::thread m_Listener;
    std::atomic<bool> m_bStop{false};
    std::mutex m_Lock;
    std::vector<std::pair<DWORD, std::string>> m_Lines;
};
