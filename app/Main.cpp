#include "app/Application.h"

// The program takes nothing from its command line and keeps no settings between runs.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // Unpacked into Downloads, the program's folder holds whatever else was downloaded: from
    // here on a DLL looked for by name, by this program or by the system on its behalf, is
    // looked for in the system folder only.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    return RunApplication(instance);
}
