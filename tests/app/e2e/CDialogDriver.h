#pragma once

#include "app/Version.h"

#include <windows.h>

#include <commctrl.h>

#include <string>

// The title of the program's dialog, by which drivers find it.
constexpr wchar_t kProgramTitle[] = L"Corvane WASAPI v" CORVANE_VERSION_TEXT;

// A window's text, or "<no answer>" when its thread does not answer within 30 s.
std::wstring WindowText(HWND window);

// Operates the program's dialog from outside, with the window messages a user's clicks,
// drags and key presses produce, and reads its displays back.
class CDialogDriver
{
public:
    // Waits up to timeoutMs for a top-level dialog of process processId with this title to
    // have finished its start-up.
    bool Attach(DWORD processId, const wchar_t* title, DWORD timeoutMs);
    HWND Window() const { return m_hDialog; }

    // Moves a trackbar as a drag does: new position, then the scroll notifications.
    void DragSlider(int id, long position);
    long SliderPosition(int id) const { return static_cast<long>(SendMessageW(Item(id), TBM_GETPOS, 0, 0)); }
    long SliderMaximum(int id) const { return static_cast<long>(SendMessageW(Item(id), TBM_GETRANGEMAX, 0, 0)); }

    // Clicks a check box or button and waits until the program has handled the click. False
    // when a message box opened first (the click then completes once the box is answered, see
    // WaitForClick) or the program did not answer in time.
    bool Click(int id, DWORD timeoutMs = 60000);
    bool WaitForClick(DWORD timeoutMs = 60000);
    bool IsChecked(int id) const { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    bool IsEnabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }

    // Picks a list entry as the user does: selection, then the selection-change notification.
    void Select(int id, int entry);
    int ListCount(int id) const;
    std::wstring ListEntryText(int id, int entry) const;

    void SetText(int id, const wchar_t* text) { SendMessageW(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)); }
    std::wstring Text(int id) const { return WindowText(Item(id)); }

    // Waits until the program has handled everything sent so far (or a modal box runs).
    bool Settle(DWORD timeoutMs = 60000) const;

    // Waits for a message box of the program; returns its caption and text, presses OK and
    // waits for the box to go.
    bool AnswerMessageBox(DWORD timeoutMs, std::wstring* caption, std::wstring* text);
    // True when a message box of the program is open now.
    bool HasMessageBox() const { return FindMessageBox() != nullptr; }

    void Close() { PostMessageW(m_hDialog, WM_CLOSE, 0, 0); }

private:
    HWND Item(int id) const { return GetDlgItem(m_hDialog, id); }
    HWND FindMessageBox() const;

    HWND m_hDialog = nullptr;
    bool m_bClickDone = true;
    DWORD m_uiProcessId = 0;
};
