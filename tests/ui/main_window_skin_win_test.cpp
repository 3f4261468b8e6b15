// The skinned main window as the user meets it: template 102 with the skin
// attached, driven with real keys and mouse input under Xvfb.
#include "ui/main_window_skin_win.h"

#include "app/settings/settings.h"
#include "resource_ids.h"
#include "string_ids.h"
#include "ui/skin_layout.h"
#include "ui/splash_dlg_win.h"
#include "win/dialog_win.h"
#include "win/string_resources_win.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <vector>

#include "tests/support/screenshot_win.h"
#include "tests/support/ui_driver_win.h"

namespace pelmora {
namespace {

using testsupport::Key;
using testsupport::Near;
using testsupport::PixelOf;
using testsupport::Pump;

// The main window's template with the skin and a three-row list; records
// the commands it receives and the state each button was last drawn in.
class SkinnedWindow : public win::Dialog {
public:
    SkinnedWindow() : win::Dialog(IDD_PELMORA_DIALOG) {}
    MainWindowSkin skin;
    std::vector<WORD> commands;
    std::map<int, UINT> drawnState;
    bool closed = false;

protected:
    BOOL OnInitDialog() override {
        ::SetWindowTextW(hwnd(), L"Pelmora v1.3.2");
        skin.Attach(hwnd());
        skin.LayOut();
        HWND list = Item(IDC_PROGRAM_LIST);
        ::SetWindowPos(list, nullptr, 10, 80, 410, 264, SWP_NOZORDER);
        ListView_SetExtendedListViewStyle(list, LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES |
                                                    LVS_EX_FULLROWSELECT);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.cx = kListNameColumn;
        column.pszText = const_cast<wchar_t*>(L"Program Name");
        ListView_InsertColumn(list, 0, &column);
        for (int row = 0; row < 3; ++row) {
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = row;
            item.pszText = const_cast<wchar_t*>(row == 0 ? L"Halvex" : row == 1 ? L"Quorin" : L"Pindral");
            ListView_InsertItem(list, &item);
        }
        return TRUE;
    }
    INT_PTR HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg == WM_DRAWITEM)
            drawnState[static_cast<int>(wp)] = reinterpret_cast<DRAWITEMSTRUCT*>(lp)->itemState;
        INT_PTR result = FALSE;
        if (skin.HandleMessage(msg, wp, lp, result)) return result;
        return win::Dialog::HandleMessage(msg, wp, lp);
    }
    bool OnCommand(WORD id, WORD, HWND) override {
        commands.push_back(id);
        return true;
    }
    void OnClose() override {
        closed = true;
        Destroy();
    }
};

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
        ::InitCommonControlsEx(&controls);
        win::SetThreadStringLanguage(2057);
        ASSERT_TRUE(window_.Create(nullptr));
        ::SetWindowPos(wnd(), HWND_TOP, 60, 60, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        ::SetForegroundWindow(wnd());
        Pump(300);
    }
    void TearDown() override {
        window_.Destroy();
        Pump(50);
        win::SetThreadStringLanguage(2057);
    }
    HWND wnd() const { return window_.hwnd(); }
    HWND button(int id) const { return window_.Item(id); }
    RECT WindowRect() const {
        RECT r{};
        ::GetWindowRect(wnd(), &r);
        return r;
    }
    // A spot of the Start face away from its caption.
    COLORREF StartFace() { return PixelOf(button(IDC_BTN_START), 8, 13); }

    SkinnedWindow window_;
};

TEST_F(MainWindow, IsBorderless700By400AndPaintsItsBands) {
    RECT client{}, frame = WindowRect();
    ::GetClientRect(wnd(), &client);
    EXPECT_EQ(client.right, kMainWidth);
    EXPECT_EQ(client.bottom, kMainHeight);
    EXPECT_EQ(frame.right - frame.left, kMainWidth);  // no frame, no title bar
    EXPECT_FALSE(::GetWindowLongPtrW(wnd(), GWL_STYLE) & WS_CAPTION);
    // The 230 px Start button stretched its 200 px frame (it was sized to one frame first).
    RECT start{};
    ::GetClientRect(button(IDC_BTN_START), &start);
    EXPECT_EQ(start.right, kStartButton.Width());
    EXPECT_FALSE(::IsWindowEnabled(button(IDC_BTN_START)));
    EXPECT_FALSE(::IsWindowVisible(button(IDC_BTN_CANCEL)));
    // Bands, inner fill and title as painted.
    EXPECT_TRUE(Near(PixelOf(wnd(), 300, 45), RGB(239, 242, 244), 2));
    EXPECT_TRUE(Near(PixelOf(wnd(), 300, 36), RGB(25, 163, 142)));  // the band's accent line
    EXPECT_TRUE(Near(PixelOf(wnd(), 5, 200), RGB(27, 37, 48)));      // left border
    EXPECT_TRUE(Near(PixelOf(wnd(), 300, 395), RGB(23, 32, 42), 8));  // bottom band
    testsupport::SaveWindowScreenshot(wnd(), L"main_window_skin_en");
}

TEST_F(MainWindow, ButtonFaceFollowsStateWithDisabledOverPressedOverHover) {
    HWND start = button(IDC_BTN_START);
    // Disabled as laid out, even when hovered.
    ::SendMessageW(start, WM_MOUSEHOVER, 0, 0);
    EXPECT_TRUE(Near(StartFace(), RGB(141, 152, 162))) << std::hex << StartFace();
    ::SendMessageW(start, WM_MOUSELEAVE, 0, 0);

    ::EnableWindow(start, TRUE);
    EXPECT_TRUE(Near(StartFace(), RGB(25, 163, 142))) << std::hex << StartFace();  // normal
    ::SendMessageW(start, WM_MOUSEHOVER, 0, 0);
    EXPECT_TRUE(Near(StartFace(), RGB(33, 184, 159))) << std::hex << StartFace();  // hover
    ::SendMessageW(start, BM_SETSTATE, TRUE, 0);
    EXPECT_TRUE(Near(StartFace(), RGB(18, 122, 107))) << std::hex << StartFace();  // pressed wins
    ::EnableWindow(wnd(), FALSE);  // a disabled window disables every face
    ::InvalidateRect(start, nullptr, FALSE);
    EXPECT_TRUE(Near(StartFace(), RGB(141, 152, 162))) << std::hex << StartFace();
    ::EnableWindow(wnd(), TRUE);
    ::SendMessageW(start, BM_SETSTATE, FALSE, 0);
    ::SendMessageW(start, WM_MOUSELEAVE, 0, 0);
    EXPECT_TRUE(Near(StartFace(), RGB(25, 163, 142))) << std::hex << StartFace();

    // The 200 px frame is stretched over all 230 px: the face's right edge
    // is the frame's rounded border, not the next frame.
    EXPECT_TRUE(Near(PixelOf(start, 225, 13), RGB(25, 163, 142)));
}

TEST_F(MainWindow, CaptionIsTheWindowTextAndAnEmptyOneDrawsNothing) {
    HWND cancel = button(IDC_BTN_CANCEL);
    ::ShowWindow(cancel, SW_SHOW);
    auto whitePixels = [&] {
        int white = 0;
        for (int x = 20; x < 80; ++x)
            for (int y = 6; y < 20; ++y) white += PixelOf(cancel, x, y) == RGB(255, 255, 255);
        return white;
    };
    EXPECT_EQ(win::GetWindowTextString(cancel), L"Cancel");
    EXPECT_GT(whitePixels(), 10);
    ::SetWindowTextW(cancel, L"");
    EXPECT_EQ(whitePixels(), 0);
    ::SetWindowTextW(cancel, win::LoadText(IDS_BACK).c_str());  // as the workflow does
    EXPECT_GT(whitePixels(), 10);
    EXPECT_EQ(win::GetWindowTextString(cancel), L"Back");

    // Close and Minimum draw no caption but are named, in the current language.
    EXPECT_EQ(win::GetWindowTextString(button(IDC_BTN_CLOSE)), L"Close");
    win::SetThreadStringLanguage(1042);
    window_.skin.RefreshTexts();
    EXPECT_EQ(win::GetWindowTextString(button(IDC_BTN_CLOSE)),
              win::LoadStringLang(IDS_CLOSE_NAME, 1042));
    EXPECT_EQ(win::GetWindowTextString(button(IDC_BTN_MINIMUM)),
              win::LoadStringLang(IDS_MINIMUM_NAME, 1042));
    EXPECT_EQ(win::GetWindowTextString(button(IDC_BTN_START)),
              win::LoadStringLang(IDS_START_INSTALL, 1042));
    EXPECT_EQ(PixelOf(button(IDC_BTN_CLOSE), 5, 5), PixelOf(button(IDC_BTN_CLOSE), 26, 5));
}

TEST_F(MainWindow, PressInTheTopBandDragsTheWindowAndBelowItDoesNot) {
    const RECT before = WindowRect();
    testsupport::Drag({before.left + 300, before.top + kMainDragBand - 1},
                      {before.left + 340, before.top + kMainDragBand + 29});
    const RECT moved = WindowRect();
    EXPECT_EQ(moved.left - before.left, 40);
    EXPECT_EQ(moved.top - before.top, 30);

    testsupport::Drag({moved.left + 300, moved.top + kMainDragBand},
                      {moved.left + 340, moved.top + kMainDragBand + 30});
    const RECT still = WindowRect();
    EXPECT_EQ(still.left, moved.left);
    EXPECT_EQ(still.top, moved.top);
}

TEST_F(MainWindow, MinimumMinimisesWithoutTitleBarAndReleaseRestoresSystemMenu) {
    ::SetWindowLongPtrW(wnd(), GWL_STYLE, ::GetWindowLongPtrW(wnd(), GWL_STYLE) & ~WS_SYSMENU);
    ::SendMessageW(button(IDC_BTN_MINIMUM), BM_CLICK, 0, 0);
    Pump(200);
    EXPECT_TRUE(::IsIconic(wnd()));
    const LONG_PTR style = ::GetWindowLongPtrW(wnd(), GWL_STYLE);
    EXPECT_EQ(style & (WS_SYSMENU | WS_MINIMIZEBOX), WS_SYSMENU | WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_CAPTION);

    ::ShowWindow(wnd(), SW_RESTORE);
    Pump(200);
    EXPECT_FALSE(::IsIconic(wnd()));
    RECT client{};
    ::GetClientRect(wnd(), &client);
    EXPECT_EQ(client.right, kMainWidth);
    ::SetWindowLongPtrW(wnd(), GWL_STYLE, ::GetWindowLongPtrW(wnd(), GWL_STYLE) & ~WS_SYSMENU);
    ::SendMessageW(wnd(), WM_LBUTTONUP, 0, MAKELPARAM(300, 200));
    EXPECT_TRUE(::GetWindowLongPtrW(wnd(), GWL_STYLE) & WS_SYSMENU);

    ::SendMessageW(button(IDC_BTN_CLOSE), BM_CLICK, 0, 0);
    Pump(200);
    EXPECT_TRUE(window_.closed);
}

TEST_F(MainWindow, KeyboardReachesEveryVisibleControlAndPressesButtons) {
    ::EnableWindow(button(IDC_BTN_START), TRUE);
    HWND list = button(IDC_PROGRAM_LIST);
    ::SetFocus(list);
    ListView_SetItemState(list, 0, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
    Pump(100);

    // Space ticks the focused row.
    Key(VK_SPACE);
    Pump(150);
    EXPECT_TRUE(ListView_GetCheckState(list, 0));

    // Tab: list, Start, (hidden Cancel skipped) Settings, Minimum, Close, list.
    const int order[] = {IDC_BTN_START, IDC_BTN_SETTING, IDC_BTN_MINIMUM, IDC_BTN_CLOSE,
                         IDC_PROGRAM_LIST};
    for (int id : order) {
        Key(VK_TAB);
        Pump(100);
        EXPECT_EQ(::GetDlgCtrlID(::GetFocus()), id);
        if (id != IDC_PROGRAM_LIST) {
            EXPECT_TRUE(window_.drawnState[id] & ODS_FOCUS) << "no focus mark on " << id;
        }
    }
    Key(VK_TAB, /*shift=*/true);
    Pump(100);
    EXPECT_EQ(::GetDlgCtrlID(::GetFocus()), IDC_BTN_CLOSE);
    Key(VK_TAB, true);
    Key(VK_TAB, true);
    Pump(150);
    EXPECT_EQ(::GetDlgCtrlID(::GetFocus()), IDC_BTN_SETTING);

    // Space and Enter press the focused skinned button, and nothing else.
    Key(VK_SPACE);
    Pump(150);
    ::SetFocus(button(IDC_BTN_START));
    Key(VK_RETURN);
    Pump(150);
    EXPECT_EQ(window_.commands, (std::vector<WORD>{IDC_BTN_SETTING, IDC_BTN_START}));

    // Alt+F4 closes the window.
    Key(VK_F4, false, /*alt=*/true);
    Pump(300);
    EXPECT_TRUE(window_.closed);
}

TEST_F(MainWindow, SystemMenuAboutItemOpensTheAboutBoxAndEscClosesIt) {
    std::wstring version;
    const INT_PTR result = testsupport::RunModalScript(
        L"Pelmora \xC815\xBCF4",
        [&] {
            ::SendMessageW(wnd(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
            return INT_PTR{1};
        },
        {[&](HWND about) {
             version = win::GetWindowTextString(::GetDlgItem(about, IDC_ABOUT_VERSION));
             EXPECT_EQ(win::GetWindowTextString(::GetDlgItem(about, IDOK)), L"\xD655\xC778");
             testsupport::SaveWindowScreenshot(about, L"about");
             ::SetForegroundWindow(about);
         },
         [](HWND) { Key(VK_ESCAPE); }});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(version, L"Pelmora, ver 1.2.2");
    EXPECT_EQ(testsupport::FindOwnDialog(L"Pelmora \xC815\xBCF4"), nullptr);
    EXPECT_FALSE(window_.closed);
}

TEST(Splash, OpensCentredOnBlackWithItsPictureAndCloses) {
    CSplashDlg splash;
    ASSERT_TRUE(splash.Open());
    ASSERT_TRUE(splash.IsOpen());
    EXPECT_TRUE(splash.Open());  // a second Open keeps the one window
    RECT r{};
    ::GetWindowRect(splash.hwnd(), &r);
    EXPECT_EQ(r.right - r.left, kSplashWidth);
    EXPECT_EQ(r.bottom - r.top, kSplashHeight);
    EXPECT_NEAR((r.left + r.right) / 2, ::GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((r.top + r.bottom) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2, 1);
    Pump(100);
    // The picture's lettering is white on its dark ground.
    EXPECT_EQ(PixelOf(splash.hwnd(), 214, 145), RGB(255, 255, 255));
    EXPECT_LT(GetRValue(PixelOf(splash.hwnd(), 5, 5)), 60);
    testsupport::SaveWindowScreenshot(splash.hwnd(), L"splash");
    splash.Close();
    EXPECT_FALSE(splash.IsOpen());
    splash.Close();  // harmless
}

}  // namespace
}  // namespace pelmora
