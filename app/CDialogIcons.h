#pragma once

#include <windows.h>

// The program's icon on a dialog: big (taskbar, Alt+Tab) and small (title bar), loaded at the
// sizes Windows draws them at for the dialog's DPI. The object owns both icons; the window only
// shows them, so they are taken off the window before they are destroyed.
class CDialogIcons
{
public:
    CDialogIcons() = default;
    ~CDialogIcons();
    CDialogIcons(const CDialogIcons&) = delete;
    CDialogIcons& operator=(const CDialogIcons&) = delete;

    // Sets icons sized for dpi (0: the dialog's own) on dialog, replacing those shown before.
    void Show(HWND dialog, UINT dpi = 0);
    // Takes the icons off the dialog (if it still exists) and destroys them.
    void Remove();

private:
    void Destroy();

    HWND m_hDialog = nullptr;
    HICON m_hBig = nullptr;
    HICON m_hSmall = nullptr;
};
