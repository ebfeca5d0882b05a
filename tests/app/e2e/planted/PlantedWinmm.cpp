// A winmm.dll as a downloaded file beside the program could be: it leaves a trace when it is
// loaded and exports what the program used to import from winmm, so that a program that
// imports them starts with it.
#include "tests/app/e2e/planted/PlantedTrace.h"

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
        LeaveTrace(instance, L"winmm.dll");
    return TRUE;
}
