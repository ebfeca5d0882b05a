#include "app/CDialogIcons.h"

#include <gtest/gtest.h>

namespace
{
int IconWidth(HWND window, WPARAM which)
{
    ICONINFO info{};
    if (!GetIconInfo(reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, which, 0)), &info))
        return 0;
    BITMAP bitmap{};
    GetObjectW(info.hbmMask, sizeof bitmap, &bitmap);
    DeleteObject(info.hbmMask);
    DeleteObject(info.hbmColor);
    return bitmap.bmWidth;
}

// The title bar draws the small icon, the taskbar and Alt+Tab the big one. The window belongs to
// this program, whose resources hold the icon as the program's do.
TEST(CDialogIcons, ShowsTheIconsAtTheSizesOfTheDpiAndTakesThemOffAgain)
{
    const HWND window =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    CDialogIcons icons;
    icons.Show(window);
    EXPECT_EQ(IconWidth(window, ICON_SMALL), GetSystemMetrics(SM_CXSMICON));
    EXPECT_EQ(IconWidth(window, ICON_BIG), GetSystemMetrics(SM_CXICON));
    icons.Show(window, 144);
    EXPECT_EQ(IconWidth(window, ICON_SMALL), 24) << "150 %";
    EXPECT_EQ(IconWidth(window, ICON_BIG), 48) << "150 %";
    icons.Remove();
    EXPECT_EQ(IconWidth(window, ICON_SMALL) + IconWidth(window, ICON_BIG), 0);
    DestroyWindow(window);
}
}
