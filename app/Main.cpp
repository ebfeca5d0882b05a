#include "app/Application.h"

// The program takes nothing from its command line and keeps no settings between runs.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    return RunApplication(instance);
}
