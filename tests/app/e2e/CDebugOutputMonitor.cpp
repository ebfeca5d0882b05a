#include "tests/app/e2e/CDebugOutputMonitor.h"

#include <algorithm>

namespace
{
// The buffer's layout: the writer's process ID, then its text, terminated.
constexpr DWORD kBufferBytes = 4096;
constexpr DWORD kListenPollMs = 50;
constexpr DWORD kTakePollMs = 10;
}

CDebugOutputMonitor::~CDebugOutputMonitor()
{
    m_bStop = true;
    if (m_Listener.joinable())
        m_Listener.join();
    if (m_pView != nullptr)
        UnmapViewOfFile(m_pView);
}

bool CDebugOutputMonitor::Start()
{
    m_Mapping.Reset(
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferBytes, L"DBWIN_BUFFER"));
    if (!m_Mapping || GetLastError() == ERROR_ALREADY_EXISTS)
        return false;
    m_BufferReady.Reset(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY"));
    m_DataReady.Reset(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY"));
    m_pView = static_cast<const char*>(MapViewOfFile(m_Mapping.Get(), FILE_MAP_READ, 0, 0, kBufferBytes));
    if (!m_BufferReady || !m_DataReady || m_pView == nullptr)
        return false;
    m_Listener = std::thread([this] { Listen(); });
    return SetEvent(m_BufferReady.Get()) != FALSE;
}

void CDebugOutputMonitor::Listen()
{
    while (!m_bStop)
    {
        if (WaitForSingleObject(m_DataReady.Get(), kListenPollMs) != WAIT_OBJECT_0)
            continue;
        DWORD processId = 0;
        CopyMemory(&processId, m_pView, sizeof processId);
        const char* text = m_pView + sizeof processId;
        std::string line(text, std::find(text, text + (kBufferBytes - sizeof processId), '\0'));
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        {
            const std::lock_guard<std::mutex> guard(m_Lock);
            m_Lines.emplace_back(processId, std::move(line));
        }
        SetEvent(m_BufferReady.Get());
    }
}

std::string CDebugOutputMonitor::TakeLine(DWORD processId, const std::string& prefix, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;)
    {
        {
            const std::lock_guard<std::mutex> guard(m_Lock);
            const auto line = std::find_if(m_Lines.begin(), m_Lines.end(), [&](const auto& heard) {
                return heard.first == processId && heard.second.compare(0, prefix.size(), prefix) == 0;
            });
            if (line != m_Lines.end())
            {
                std::string taken = std::move(line->second);
                m_Lines.erase(line);
                return taken;
            }
        }
        if (GetTickCount64() >= deadline)
            return std::string();
        Sleep(kTakePollMs);
    }
}
