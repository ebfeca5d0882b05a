#include "tests/app/e2e/CDialogDriver.h"

#include "app/ResourceIds.h"

#include <commctrl.h>

#include <vector>

namespace
{
constexpr DWORD kPollMs = 50;
constexpr size_t kTextCapacity = 1024;

struct TopLevelSearch
{
    DWORD dwProcessId;
    const wchar_t* pszTitle;
    HWND hExclude;
    HWND hFound;
};

std::wstring ClassName(HWND window)
{
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    return name;
}

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<TopLevelSearch*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != search->dwProcessId || window == search->hExclude || !IsWindowVisible(window) ||
        ClassName(window) != L"#32770")
        return TRUE;
    if (search->pszTitle != nullptr && WindowText(window) != search->pszTitle)
        return TRUE;
    search->hFound = window;
    return FALSE;
}

void CALLBACK ClickHandled(HWND, UINT, ULONG_PTR data, LRESULT)
{
    *reinterpret_cast<bool*>(data) = true;
}

BOOL CALLBACK CollectStaticText(HWND child, LPARAM lParam)
{
    auto* longest = reinterpret_cast<std::wstring*>(lParam);
    if (ClassName(child) == L"Static")
    {
        const std::wstring text = WindowText(child);
        if (text.size() > longest->size())
            *longest = text;
    }
    return TRUE;
}
}

std::wstring WindowText(HWND window)
{
    std::vector<wchar_t> text(kTextCapacity, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, kTextCapacity, reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                             30000, &copied))
        return L"<no answer>";
    return std::wstring(text.data());
}

bool CDialogDriver::Attach(DWORD processId, const wchar_t* title, DWORD timeoutMs)
{
    m_uiProcessId = processId;
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    do
    {
        TopLevelSearch search{processId, title, nullptr, nullptr};
        EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
        // The dialog fills the device name from a notification it posts to itself while
        // initialising; once that shows, the start-up is complete.
        if (search.hFound != nullptr && !WindowText(GetDlgItem(search.hFound, IDC_DEVICE_NAME)).empty())
        {
            m_hDialog = search.hFound;
            return Settle();
        }
        Sleep(kPollMs);
    } while (GetTickCount64() < deadline);
    return false;
}

void CDialogDriver::DragSlider(int id, long position)
{
    const HWND slider = Item(id);
    const UINT scroll = (GetWindowLongW(slider, GWL_STYLE) & TBS_VERT) != 0 ? WM_VSCROLL : WM_HSCROLL;
    SendMessageW(slider, TBM_SETPOS, TRUE, position);
    SendMessageW(m_hDialog, scroll, MAKEWPARAM(TB_THUMBTRACK, position), reinterpret_cast<LPARAM>(slider));
    SendMessageW(m_hDialog, scroll, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(slider));
}

bool CDialogDriver::Click(int id, DWORD timeoutMs)
{
    // Sent with a completion callback rather than waited for: a click that opens a modal box
    // must not block the driver, which has to answer the box.
    m_bClickDone = false;
    if (!SendMessageCallbackW(Item(id), BM_CLICK, 0, 0, ClickHandled, reinterpret_cast<ULONG_PTR>(&m_bClickDone)))
        return false;
    return WaitForClick(timeoutMs);
}

bool CDialogDriver::WaitForClick(DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;)
    {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        if (m_bClickDone)
            return true;
        if (HasMessageBox() || GetTickCount64() >= deadline)
            return false;
        Sleep(kPollMs / 5);
    }
}

void CDialogDriver::Select(int id, int entry)
{
    const HWND list = Item(id);
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
    SendMessageW(m_hDialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

int CDialogDriver::ListCount(int id) const
{
    return static_cast<int>(SendMessageW(Item(id), CB_GETCOUNT, 0, 0));
}

std::wstring CDialogDriver::ListEntryText(int id, int entry) const
{
    const LRESULT length = SendMessageW(Item(id), CB_GETLBTEXTLEN, static_cast<WPARAM>(entry), 0);
    if (length == CB_ERR)
        return L"<none>";
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(Item(id), CB_GETLBTEXT, static_cast<WPARAM>(entry), reinterpret_cast<LPARAM>(text.data()));
    return std::wstring(text.data());
}

bool CDialogDriver::Settle(DWORD timeoutMs) const
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(m_hDialog, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

HWND CDialogDriver::FindMessageBox() const
{
    TopLevelSearch search{m_uiProcessId, nullptr, m_hDialog, nullptr};
    EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.hFound;
}

bool CDialogDriver::AnswerMessageBox(DWORD timeoutMs, std::wstring* caption, std::wstring* text)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    do
    {
        const HWND box = FindMessageBox();
        if (box != nullptr)
        {
            *caption = WindowText(box);
            text->clear();
            EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(text));
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            while (IsWindow(box) && GetTickCount64() < deadline)
                Sleep(kPollMs);
            return !IsWindow(box);
        }
        Sleep(kPollMs);
    } while (GetTickCount64() < deadline);
    return false;
}
