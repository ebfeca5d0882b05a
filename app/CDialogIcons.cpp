#include "app/CDialogIcons.h"

#include "app/ResourceIds.h"
#include "runtime/CSystemLibrary.h"

#include <initializer_list>

namespace
{
using MetricForDpiFunction = decltype(&GetSystemMetricsForDpi);
using WindowDpiFunction = decltype(&GetDpiForWindow);

// Windows 10 1607's: looked up, so that the program still starts on an earlier system, which
// sends no DPI change and where the system's metrics fit every window.
struct DpiFunctions
{
    CSystemLibrary Library{L"user32.dll"};
    MetricForDpiFunction pfnMetricForDpi = Library.Find<MetricForDpiFunction>("GetSystemMetricsForDpi");
    WindowDpiFunction pfnWindowDpi = Library.Find<WindowDpiFunction>("GetDpiForWindow");
};

const DpiFunctions& User32()
{
    static const DpiFunctions functions;
    return functions;
}

int MetricForDpi(int index, UINT dpi)
{
    const DpiFunctions& user32 = User32();
    return dpi != 0 && user32.pfnMetricForDpi != nullptr ? user32.pfnMetricForDpi(index, dpi) : GetSystemMetrics(index);
}

HICON LoadProgramIcon(HINSTANCE instance, int widthIndex, int heightIndex, UINT dpi)
{
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_PROGRAM_ICON), IMAGE_ICON,
                                         MetricForDpi(widthIndex, dpi), MetricForDpi(heightIndex, dpi),
                                         LR_DEFAULTCOLOR));
}

void SetIcons(HWND dialog, HICON bigIcon, HICON smallIcon)
{
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
}
}

CDialogIcons::~CDialogIcons()
{
    Remove();
}

void CDialogIcons::Show(HWND dialog, UINT dpi)
{
    if (dpi == 0 && User32().pfnWindowDpi != nullptr)
        dpi = User32().pfnWindowDpi(dialog);
    const HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog, GWLP_HINSTANCE));
    const HICON bigIcon = LoadProgramIcon(instance, SM_CXICON, SM_CYICON, dpi);
    const HICON smallIcon = LoadProgramIcon(instance, SM_CXSMICON, SM_CYSMICON, dpi);
    SetIcons(dialog, bigIcon, smallIcon);
    // The ones shown before are off the window now.
    Destroy();
    m_hDialog = dialog;
    m_hBig = bigIcon;
    m_hSmall = smallIcon;
}

void CDialogIcons::Remove()
{
    if (m_hDialog != nullptr && IsWindow(m_hDialog))
        SetIcons(m_hDialog, nullptr, nullptr);
    m_hDialog = nullptr;
    Destroy();
}

void CDialogIcons::Destroy()
{
    for (HICON* icon : {&m_hBig, &m_hSmall})
    {
        if (*icon != nullptr)
            DestroyIcon(*icon);
        *icon = nullptr;
    }
}
