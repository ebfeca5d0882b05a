// A file a download could leave beside the program, built as winmm.dll (exporting what the
// program used to import from winmm, so that such a program starts with it) and as control.exe.
// Loaded or started, it leaves "<its name>.ran" in its folder, holding the command line that
// ran it.
#include "runtime/CHandleHolder.h"

#include <windows.h>

#include <string>

namespace
{
void LeaveTrace(HMODULE module)
{
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(module, &path[0], MAX_PATH));
    path = path.substr(0, path.rfind(L'\\') + 1) + CORVANE_PLANTED_NAME L".ran";
    const CHandleHolder file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    const std::wstring commandLine = GetCommandLineW();
    DWORD written = 0;
    WriteFile(file.Get(), commandLine.data(), static_cast<DWORD>(commandLine.size() * sizeof(wchar_t)), &written,
              nullptr);
}
}

#ifdef CORVANE_PLANTED_DLL
extern "C" __declspec(dllexport) UINT WINAPI timeSetEvent(UINT, UINT, void*, DWORD_PTR, UINT)
{
    return 0;
}

extern "C" __declspec(dllexport) UINT WINAPI timeKillEvent(UINT)
{
    return 0;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        LeaveTrace(instance);
    return TRUE;
}
#else
int main()
{
    LeaveTrace(nullptr);
    return 0;
}
#endif
