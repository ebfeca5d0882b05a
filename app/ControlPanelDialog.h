#pragma once

#include <windows.h>

// The dialog procedure of the control panel (dialog resource 101). Every message it handles
// returns FALSE, as does every other.
INT_PTR CALLBACK ControlPanelDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
