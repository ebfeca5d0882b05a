#pragma once

#include "runtime/CHandleHolder.h"

#include <windows.h>

// Leaves the file "<name>.ran" in module's folder, holding the command line that ran it: proof
// that a file planted beside the program was loaded or started.
inline void LeaveTrace(HMODULE module, const wchar_t* name)
{
    wchar_t path[MAX_PATH + 32];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    wchar_t* folderEnd = path + length;
    while (folderEnd != path && folderEnd[-1] != L'\\')
        --folderEnd;
    lstrcpynW(folderEnd, name, 24);
    lstrcatW(path, L".ran");
    const HANDLE created = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE)
        return;
    const CHandleHolder file(created);
    const wchar_t* commandLine = GetCommandLineW();
    DWORD written = 0;
    WriteFile(file.Get(), commandLine, static_cast<DWORD>(lstrlenW(commandLine) * sizeof(wchar_t)), &written, nullptr);
}
