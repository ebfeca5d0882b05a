#include "tests/runtime/ProcessUsage.h"

#include <windows.h>
#include <psapi.h>

#include <cstring>
#include <vector>

namespace
{
// The system-wide handle table as NtQuerySystemInformation(SystemHandleInformation) returns it.
struct SystemHandleEntry
{
    ULONG OwnerProcessId;
    BYTE ObjectType;
    BYTE Flags;
    USHORT HandleValue;
    PVOID Object;
    ULONG GrantedAccess;
};

struct SystemHandleInformation
{
    ULONG Count;
    SystemHandleEntry Entries[1];
};

using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
constexpr ULONG kSystemHandleInformation = 16;

uint64_t CountHandlesInSystemTable()
{
    const FARPROC address = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation");
    if (address == nullptr)
        return 0;
    const QuerySystemInformation query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(address));
    std::vector<unsigned char> buffer(1 << 20);
    ULONG length = 0;
    while (query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &length) != 0)
    {
        if (buffer.size() >= (64u << 20))
            return 0;
        buffer.resize(buffer.size() * 2);
    }
    const SystemHandleInformation* table = reinterpret_cast<const SystemHandleInformation*>(buffer.data());
    const DWORD self = GetCurrentProcessId();
    uint64_t count = 0;
    for (ULONG i = 0; i < table->Count; ++i)
        count += table->Entries[i].OwnerProcessId == self ? 1 : 0;
    return count;
}
}

ProcessUsage MeasureProcessUsage()
{
    ProcessUsage usage;
    DWORD handles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &handles) && handles != 0)
        usage.uiHandles = handles;
    else
        usage.uiHandles = CountHandlesInSystemTable();

    PROCESS_MEMORY_COUNTERS_EX counters;
    std::memset(&counters, 0, sizeof counters);
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters))
        usage.uiPrivateBytes = counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
    return usage;
}
