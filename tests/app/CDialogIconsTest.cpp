#include "app/CDialogIcons.h"

#include <gtest/gtest.h>

namespace
{
int IconWidth(HWND window, WPARAM which)
{
    ICONINFO info{};
    const HICON icon = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, which, 0));
    if (icon == nullptr || !GetIconInfo(icon, &info))
        return 0;
    BITMAP bitmap{};
    GetObjectW(info.hbmMask, sizeof bitmap, &bitmap);
    DeleteObject(info.hbmMask);
    if (info.hbmColor != nullptr)
        DeleteObject(info.hbmColor);
    return bitmap.bmWidth;
}

// The title bar draws the small icon, the taskbar and Alt+Tab the big one.
TEST(CDialogIcons, ShowsTheIconsAtTheSizesOfTheDpiAndTakesThemOffAgain)
{
    // A window of this program, whose resources hold the icon as the program's do.
    const HWND window =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    CDialogIcons icons;
    icons.Show(window);
    EXPECT_EQ(IconWidth(window, ICON_SMALL), GetSystemMetrics(SM_CXSMICON));
    EXPECT_EQ(IconWidth(window, ICON_BIG), GetSystemMetrics(SM_CXICON));
    // Moved to a monitor at 150 %.
    icons.Show(window, 144);
    EXPECT_EQ(IconWidth(window, ICON_SMALL), 24);
    EXPECT_EQ(IconWidth(window, ICON_BIG), 48);
    icons.Remove();
    EXPECT_EQ(SendMessageW(window, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_EQ(SendMessageW(window, WM_GETICON, ICON_SMALL, 0), 0);
    DestroyWindow(window);
}
}
