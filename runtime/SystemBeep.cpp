#include "runtime/SystemBeep.h"

#include <atomic>

#ifdef _WIN32
#include <windows.h>
#endif

namespace
{
void PlatformBeep()
{
#ifdef _WIN32
    MessageBeep(0);
#endif
}

std::atomic<SystemBeepHook> g_Hook{nullptr};
} // namespace

void SoundSystemBeep()
{
    SystemBeepHook hook = g_Hook.load();
    if (hook != nullptr)
        hook();
    else
        PlatformBeep();
}

SystemBeepHook SetSystemBeepHook(SystemBeepHook hook)
{
    return g_Hook.exchange(hook);
}
