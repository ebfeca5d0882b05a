#include "runtime/MessageBoxSeam.h"

#include <atomic>

namespace
{
std::atomic<MessageBoxHook> g_Hook{nullptr};
std::atomic<HWND> g_DefaultOwner{nullptr};
}

int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type)
{
    if (owner == nullptr)
        owner = g_DefaultOwner.load();
    const MessageBoxHook hook = g_Hook.load();
    if (hook != nullptr)
        return hook(owner, text, caption, type);
    return MessageBoxW(owner, text, caption, type);
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    return g_Hook.exchange(hook);
}

void SetDefaultMessageBoxOwner(HWND owner)
{
    g_DefaultOwner.store(owner);
}
