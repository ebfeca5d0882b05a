#pragma once

#include <windows.h>

// Every message box of the program goes through ShowMessageBox, so that tests can install a
// hook that records the box instead of blocking on a modal window.
using MessageBoxHook = int (*)(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);

// Shows the box through the installed hook, or with MessageBoxW when none is installed. A null
// owner stands for the default owner.
int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);

// Sets the window that owns boxes shown without an owner (nullptr: none), so that no box leaves
// the program's window usable beneath it.
void SetDefaultMessageBoxOwner(HWND owner);

// Installs hook (nullptr restores MessageBoxW) and returns the previous one.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);
