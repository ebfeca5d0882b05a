#include "tests/app/e2e/CProgramUnderTest.h"

#include <winternl.h>

#include <vector>

namespace
{
// The system handle table as NtQuerySystemInformation reports it (information class 16).
// GetProcessHandleCount answers 0 under Wine; this table is kept by its server.
constexpr SYSTEM_INFORMATION_CLASS kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
constexpr NTSTATUS kStatusInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);

struct SystemHandleEntry
{
    USHORT usProcessId;
    USHORT usCreatorBackTraceIndex;
    UCHAR ucObjectTypeIndex;
    UCHAR ucHandleAttributes;
    USHORT usHandleValue;
    PVOID pObject;
    ULONG ulGrantedAccess;
};

struct SystemHandleTable
{
    ULONG ulCount;
    SystemHandleEntry entries[1];
};
}

CProgramUnderTest::~CProgramUnderTest()
{
    if (m_hProcess == nullptr)
        return;
    if (WaitForSingleObject(m_hProcess, 0) == WAIT_TIMEOUT)
    {
        TerminateProcess(m_hProcess, 99);
        WaitForSingleObject(m_hProcess, 10000);
    }
    CloseHandle(m_hProcess);
}

bool CProgramUnderTest::Start(const std::wstring& program)
{
    std::vector<wchar_t> commandLine(program.begin(), program.end());
    commandLine.insert(commandLine.begin(), L'"');
    commandLine.push_back(L'"');
    commandLine.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    CloseHandle(process.hThread);
    m_hProcess = process.hProcess;
    m_uiProcessId = process.dwProcessId;
    return true;
}

bool CProgramUnderTest::WaitForExit(DWORD timeoutMs, DWORD* exitCode)
{
    if (m_hProcess == nullptr || WaitForSingleObject(m_hProcess, timeoutMs) != WAIT_OBJECT_0)
        return false;
    return GetExitCodeProcess(m_hProcess, exitCode) != FALSE;
}

bool CProgramUnderTest::TrackStartedProcesses()
{
    m_Job.Reset(CreateJobObjectW(nullptr, nullptr));
    m_JobPort.Reset(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
    if (!m_Job || !m_JobPort || m_hProcess == nullptr)
        return false;
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT port{};
    port.CompletionPort = m_JobPort.Get();
    return SetInformationJobObject(m_Job.Get(), JobObjectAssociateCompletionPortInformation, &port, sizeof port) &&
           AssignProcessToJobObject(m_Job.Get(), m_hProcess);
}

std::wstring CProgramUnderTest::WaitForStartedProcess(const std::wstring& fileName, DWORD timeoutMs)
{
    DWORD message = 0;
    ULONG_PTR key = 0;
    LPOVERLAPPED data = nullptr;
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64())
    {
        if (!GetQueuedCompletionStatus(m_JobPort.Get(), &message, &key, &data, static_cast<DWORD>(deadline - now)))
            break;
        if (message != JOB_OBJECT_MSG_NEW_PROCESS)
            continue;
        const CHandleHolder process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                                static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(data))));
        wchar_t image[MAX_PATH];
        DWORD size = MAX_PATH;
        if (!process || !QueryFullProcessImageNameW(process.Get(), 0, image, &size))
            return L"?";
        const std::wstring path(image, size);
        if (path.size() >= fileName.size() &&
            lstrcmpiW(path.c_str() + path.size() - fileName.size(), fileName.c_str()) == 0)
            return path;
    }
    return L"";
}

long CProgramUnderTest::HandleCount() const
{
    std::vector<unsigned char> buffer(1 << 20);
    NTSTATUS status = kStatusInfoLengthMismatch;
    for (int attempt = 0; attempt < 8 && status == kStatusInfoLengthMismatch; ++attempt)
    {
        ULONG needed = 0;
        status = NtQuerySystemInformation(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                                          &needed);
        if (status == kStatusInfoLengthMismatch)
            buffer.resize(buffer.size() * 2);
    }
    if (status != 0 || m_hProcess == nullptr)
        return -1;
    const auto* table = reinterpret_cast<const SystemHandleTable*>(buffer.data());
    long count = 0;
    for (ULONG i = 0; i < table->ulCount; ++i)
    {
        if (table->entries[i].usProcessId == static_cast<USHORT>(m_uiProcessId))
            ++count;
    }
    return count;
}

std::wstring WindowsPathOf(const std::string& unixPath)
{
    std::wstring path = L"Z:";
    for (char c : unixPath)
        path.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return path;
}
