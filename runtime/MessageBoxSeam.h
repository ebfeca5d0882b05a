#pragma once

#include <windows.h>

// Every message box of the program goes through ShowMessageBox, so that tests can install a
// hook that records the box instead of blocking on a modal window.
using MessageBoxHook = int (*)(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);

// Shows the box through the installed hook, or with MessageBoxW when none is installed.
int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);

// Installs hook (nullptr restores MessageBoxW) and returns the previous one.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);
