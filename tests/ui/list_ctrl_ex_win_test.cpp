#include "ui/list_ctrl_ex_win.h"

#include "ui/window_messages.h"
#include "win/dialog_win.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/screenshot_win.h"

namespace pelmora {
namespace {

enum class Mode { Browse, Install };

struct Posted {
    UINT msg;
    WPARAM wp;
    LPARAM lp;
};

// A 700 x 400 top-level window holding a report list as the main window lays
// it out, and recording the list's posted click messages.
class ListWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
        ASSERT_TRUE(::InitCommonControlsEx(&controls));
        WNDCLASSW wc{};
        wc.lpfnWndProc = ParentProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = L"PelmoraListTestParent";
        ::RegisterClassW(&wc);  // fails harmlessly when already registered
        parent_ = ::CreateWindowExW(0, wc.lpszClassName, L"Pelmora list",
                                    WS_POPUP | WS_CAPTION | WS_VISIBLE, 20, 20, 700, 400, nullptr,
                                    nullptr, wc.hInstance, nullptr);
        ASSERT_NE(parent_, nullptr);
        font_ = ::CreateFontW(-13, 0, 0, 0, 500, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
        rowImages_ = ImageList_Create(1, 25, ILC_COLOR, 1, 1);
        posted_.clear();
    }

    void TearDown() override {
        list_.reset();  // the object goes before its window, as in the main window
        if (parent_) ::DestroyWindow(parent_);
        if (rowImages_) ImageList_Destroy(rowImages_);
        if (font_) ::DeleteObject(font_);
        Pump();
    }

    static LRESULT CALLBACK ParentProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_LIST_INSTALL_CLICK || msg == WM_LIST_VIEW_CLICK || msg == WM_LIST_RUN_CLICK) {
            posted_.push_back({msg, wp, lp});
            return 0;
        }
        return ::DefWindowProcW(wnd, msg, wp, lp);
    }

    // The list in browse mode with `rows` rows (check boxes, Release Note and Run columns).
    void MakeList(int rows) {
        list_wnd_ =
            ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                              WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS, 10, 80, 410,
                              264, parent_, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(list_wnd_, nullptr);
        ::SendMessageW(list_wnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
        list_ = std::make_unique<CListCtrlEx>();
        ASSERT_TRUE(list_->Attach(list_wnd_));
        list_->SetImageList(rowImages_);
        list_->SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
        const int widths[] = {21, 170, 85, 80, 50};
        const wchar_t* headings[] = {L" ", L"Program Name", L"Status", L"Release Note", L"Run"};
        for (int c = 0; c < 5; ++c)
            list_->InsertColumn(c, headings[c], c < 2 ? LVCFMT_LEFT : LVCFMT_CENTER, widths[c]);
        for (int r = 0; r < rows; ++r) {
            list_->InsertItem(r, L"");
            list_->SetItemText(r, 1, L"Program " + std::to_wstring(r));
            list_->SetItemText(r, 2, r % 3 ? L"Update" : L"Not installed");
        }
    }

    // What the main window does on Start: ticked rows get bars and install buttons.
    void EnterInstallMode() {
        list_->DestroyRunButtons();
        list_->DestroyViewButtons();
        ::MoveWindow(list_wnd_, 10, 80, 680, 264, TRUE);
        list_->SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
        list_->DeleteColumn(4);
        list_->DeleteColumn(3);
        list_->InsertColumn(3, L"", LVCFMT_CENTER, 280);
        list_->InsertColumn(4, L"", LVCFMT_CENTER, 120);
        list_->SetEmbeddedColumns(3, 4);
        for (int r = 0; r < list_->GetItemCount(); ++r) list_->SetRowProgress(r, 0);
        ASSERT_EQ(list_->CreateProgressBars(), S_OK);
        list_->ShowProgressBars();
        ASSERT_EQ(list_->CreateInstallButtons(L"Execute", L"Install"), S_OK);
        for (int r = 0; r < list_->GetItemCount(); ++r) list_->SetRowButtonState(r, 0);
        Pump();
    }

    static void Pump(DWORD ms = 30) {
        const DWORD end = ::GetTickCount() + ms;
        MSG msg;
        do {
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
            ::Sleep(1);
        } while (static_cast<LONG>(::GetTickCount() - end) < 0);
    }

    HWND Child(int id) const { return ::GetDlgItem(list_wnd_, id); }

    // The child's rectangle in list client coordinates.
    RECT ChildRect(HWND child) const {
        RECT rect{};
        ::GetWindowRect(child, &rect);
        ::MapWindowPoints(nullptr, list_wnd_, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }
    RECT RowRect(int row) const {
        RECT rect{};
        rect.left = LVIR_BOUNDS;
        ::SendMessageW(list_wnd_, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
        return rect;
    }
    RECT HeaderItem(int column) const {
        RECT rect{};
        ::SendMessageW(list_->GetHeaderCtrl(), HDM_GETITEMRECT, column,
                       reinterpret_cast<LPARAM>(&rect));
        return rect;
    }
    int BarPosition(int row) const {
        return static_cast<int>(::SendMessageW(Child(kProgressBarIdBase + row), PBM_GETPOS, 0, 0));
    }
    bool Visible(int id) const { return ::IsWindowVisible(Child(id)) != FALSE; }

    void Click(int id) {
        const HWND button = Child(id);
        ASSERT_NE(button, nullptr) << id;
        ::SendMessageW(list_wnd_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                       reinterpret_cast<LPARAM>(button));
        Pump();
    }

    // Each control of the rows sits over its own row's cell, and is shown only
    // where the row lies below the header and inside the list.
    static bool Always(int) { return true; }

    void ExpectControlsOnTheirRows(int id, int column, int inset,
                                   const std::function<bool(int)>& wanted) {
        RECT client{}, header{};
        ::GetClientRect(list_wnd_, &client);
        ::GetWindowRect(list_->GetHeaderCtrl(), &header);
        ::MapWindowPoints(nullptr, list_wnd_, reinterpret_cast<POINT*>(&header), 2);
        const RECT cell = HeaderItem(column);
        int shown = 0;
        for (int row = 0; row < list_->GetItemCount(); ++row) {
            const HWND child = Child(id + row);
            const RECT rowRect = RowRect(row);
            const bool inView = rowRect.top + inset >= header.bottom && rowRect.top < client.bottom;
            if (!child) {  // Run buttons exist only on some rows; View and Run once shown
                EXPECT_FALSE(wanted(row) && inView) << "row " << row;
                continue;
            }
            EXPECT_EQ(::IsWindowVisible(child) != FALSE, wanted(row) && inView) << "row " << row;
            if (!inView) continue;
            const RECT rect = ChildRect(child);
            EXPECT_EQ(rect.top, rowRect.top + inset) << "row " << row;
            EXPECT_EQ(rect.bottom, rowRect.bottom - inset) << "row " << row;
            EXPECT_EQ(rect.left, rowRect.left + cell.left + 2) << "row " << row;
            shown += ::IsWindowVisible(child) ? 1 : 0;
        }
        EXPECT_GT(shown, 0);
    }

    // Page by page, as a click below the scroll box does.
    void ScrollToBottom() {
        for (int i = 0; i < 5; ++i) ::SendMessageW(list_wnd_, WM_VSCROLL, SB_PAGEDOWN, 0);
    }

    int TopIndex() const {
        return static_cast<int>(::SendMessageW(list_wnd_, LVM_GETTOPINDEX, 0, 0));
    }

    static std::vector<Posted> posted_;
    HWND parent_ = nullptr;
    HWND list_wnd_ = nullptr;
    HFONT font_ = nullptr;
    HIMAGELIST rowImages_ = nullptr;
    std::unique_ptr<CListCtrlEx> list_;
};

std::vector<Posted> ListWindow::posted_;

TEST_F(ListWindow, BrowseClicksPostTheRowOfViewAndRunButtons) {
    MakeList(5);
    for (int r = 0; r < 5; ++r) ASSERT_EQ(list_->AddViewButton(r, L"View"), S_OK);
    ASSERT_EQ(list_->AddRunButton(2, L"Run"), S_OK);  // rows 0 and 1 are not installed
    ASSERT_EQ(list_->AddRunButton(4, L"Run"), S_OK);
    Pump();

    Click(kViewButtonIdBase + 2);
    Click(kRunButtonIdBase + 2);
    Click(kRunButtonIdBase + 4);  // beyond the two Run buttons, within the rows
    ::SendMessageW(Child(kRunButtonIdBase + 4), BM_CLICK, 0, 0);  // a real button press
    Pump();
    ASSERT_EQ(posted_.size(), 4u);
    EXPECT_EQ(posted_[0].msg, static_cast<UINT>(WM_LIST_VIEW_CLICK));
    EXPECT_EQ(posted_[0].wp, 2u);
    EXPECT_EQ(posted_[0].lp, reinterpret_cast<LPARAM>(Child(kViewButtonIdBase + 2)));
    EXPECT_EQ(posted_[1].msg, static_cast<UINT>(WM_LIST_RUN_CLICK));
    EXPECT_EQ(posted_[1].wp, 2u);
    EXPECT_EQ(posted_[2].msg, static_cast<UINT>(WM_LIST_RUN_CLICK));
    EXPECT_EQ(posted_[2].wp, 4u);
    EXPECT_EQ(posted_[3].msg, static_cast<UINT>(WM_LIST_RUN_CLICK));
    EXPECT_EQ(posted_[3].wp, 4u);

    // Identifiers past the rows, other notification codes and menu commands post nothing.
    posted_.clear();
    const auto from = reinterpret_cast<LPARAM>(Child(kViewButtonIdBase));
    ::SendMessageW(list_wnd_, WM_COMMAND, MAKEWPARAM(kViewButtonIdBase + 5, BN_CLICKED), from);
    ::SendMessageW(list_wnd_, WM_COMMAND, MAKEWPARAM(kRunButtonIdBase + 5, BN_CLICKED), from);
    ::SendMessageW(list_wnd_, WM_COMMAND, MAKEWPARAM(kInstallButtonIdBase + 5, BN_CLICKED), from);
    ::SendMessageW(list_wnd_, WM_COMMAND, MAKEWPARAM(kViewButtonIdBase, BN_SETFOCUS), from);
    ::SendMessageW(list_wnd_, WM_COMMAND, MAKEWPARAM(kViewButtonIdBase, 0), 0);
    Pump();
    EXPECT_TRUE(posted_.empty());
}

TEST_F(ListWindow, InstallModeForwardsInstallClicksOnly) {
    MakeList(4);
    for (int r = 0; r < 4; ++r) list_->AddViewButton(r, L"View");
    list_->AddRunButton(1, L"Run");
    EnterInstallMode();
    EXPECT_EQ(Child(kViewButtonIdBase), nullptr);
    EXPECT_EQ(Child(kRunButtonIdBase + 1), nullptr);

    list_->SetRowButtonState(1, 1);
    list_->ShowInstallButtons();
    ::SendMessageW(Child(kInstallButtonIdBase + 1), BM_CLICK, 0, 0);
    Pump();
    ASSERT_EQ(posted_.size(), 1u);
    EXPECT_EQ(posted_[0].msg, static_cast<UINT>(WM_LIST_INSTALL_CLICK));
    EXPECT_EQ(posted_[0].wp, static_cast<WPARAM>(kInstallButtonIdBase + 1));
    EXPECT_EQ(posted_[0].lp, reinterpret_cast<LPARAM>(Child(kInstallButtonIdBase + 1)));

    posted_.clear();
    const auto from = reinterpret_cast<LPARAM>(Child(kInstallButtonIdBase));
    ::SendMessageW(list_wnd_, WM_COMMAND, MAKEWPARAM(kViewButtonIdBase + 1, BN_CLICKED), from);
    ::SendMessageW(list_wnd_, WM_COMMAND, MAKEWPARAM(kRunButtonIdBase + 1, BN_CLICKED), from);
    Pump();
    EXPECT_TRUE(posted_.empty());
}

TEST_F(ListWindow, InstallCellsAreInsetAndCaptionedByButtonState) {
    MakeList(4);
    EnterInstallMode();
    list_->SetRowButtonState(1, 1);
    list_->SetRowButtonState(2, 2);
    list_->SetRowButtonState(3, 7);
    ASSERT_EQ(list_->CreateInstallButtons(L"Execute", L"Install"), S_OK);
    for (int r = 0; r < 4; ++r) EXPECT_FALSE(Visible(kInstallButtonIdBase + r)) << r;
    list_->ShowInstallButtons();
    const wchar_t* captions[] = {L"Install", L"Install", L"Execute", L"Install"};
    for (int r = 0; r < 4; ++r) {
        wchar_t text[32] = {};
        ::GetWindowTextW(Child(kInstallButtonIdBase + r), text, 32);
        EXPECT_STREQ(text, captions[r]) << r;
        EXPECT_EQ(Visible(kInstallButtonIdBase + r), r != 0) << r;
    }

    ASSERT_EQ(::SendMessageW(list_wnd_, LVM_GETCOLUMNWIDTH, 3, 0), 280);
    const RECT row = RowRect(1);
    const RECT bar = ChildRect(Child(kProgressBarIdBase + 1));
    EXPECT_EQ(bar.right - bar.left, 274);
    EXPECT_EQ(bar.left, row.left + HeaderItem(3).left + 2);
    EXPECT_EQ((row.bottom - row.top) - (bar.bottom - bar.top), 10);
    EXPECT_EQ(bar.top, row.top + 5);
    const RECT button = ChildRect(Child(kInstallButtonIdBase + 1));
    EXPECT_EQ(button.right - button.left, 120 - 6);
    EXPECT_EQ(button.left, row.left + HeaderItem(4).left + 2);
    EXPECT_EQ(button.top, row.top + 1);
    EXPECT_EQ(button.bottom, row.bottom - 1);
}

TEST_F(ListWindow, OutOfRangeRowsChangeNothing) {
    MakeList(3);
    list_->SetCheck(1, true);
    EnterInstallMode();
    list_->SetRowProgress(1, 30);
    list_->UpdateRowProgress(1);
    auto snapshot = [&] {
        std::wstring s;
        for (int r = 0; r < 3; ++r) {
            int percent = -1, state = -1;
            list_->RowProgress(r, percent);
            list_->RowButtonState(r, state);
            for (int v : {BarPosition(r), int(Visible(kProgressBarIdBase + r)), percent, state})
                s += std::to_wstring(v) + L",";
            s += list_->GetItemText(r, 4) + L";";
        }
        return s;
    };
    const std::wstring before = snapshot();
    EXPECT_EQ(list_->UpdateRowProgress(3), E_INVALIDARG);
    EXPECT_EQ(list_->UpdateRowProgress(-1), E_INVALIDARG);
    EXPECT_EQ(list_->SetRowProgress(3, 55), E_INVALIDARG);
    EXPECT_EQ(list_->SetRowProgress(-1, 55), E_INVALIDARG);
    EXPECT_EQ(list_->SetRowButtonState(3, 2), E_INVALIDARG);
    list_->ShowRowProgress(3, 55);
    list_->ShowRowProgress(-2, 55);
    Pump();
    EXPECT_EQ(snapshot(), before);

    // The per-row values keep the row count they were first used with.
    list_->InsertItem(3, L"");
    EXPECT_EQ(list_->SetRowProgress(3, 55), E_INVALIDARG);
    EXPECT_EQ(list_->CreateProgressBars(), S_OK);
    EXPECT_EQ(list_->UpdateRowProgress(3), E_INVALIDARG);  // its bar exists, its value does not
    EXPECT_EQ(BarPosition(3), 0);
}

TEST_F(ListWindow, ControlsStayOnTheirRowsWhenTheListScrolls) {
    MakeList(20);
    for (int r = 0; r < 20; ++r) list_->SetCheck(r, true);
    EnterInstallMode();
    for (int r = 0; r < 20; r += 3) list_->SetRowButtonState(r, 1);
    list_->ShowInstallButtons();
    const auto hasState = [](int row) { return row % 3 == 0; };
    auto expectBoth = [&] {
        ExpectControlsOnTheirRows(kProgressBarIdBase, 3, 5, Always);
        ExpectControlsOnTheirRows(kInstallButtonIdBase, 4, 1, hasState);
    };
    expectBoth();
    EXPECT_FALSE(Visible(kProgressBarIdBase + 19));  // a full catalogue does not fit

    ScrollToBottom();  // scroll bar
    Pump();
    ASSERT_GT(TopIndex(), 0);
    EXPECT_TRUE(Visible(kProgressBarIdBase + 19));
    EXPECT_TRUE(Visible(kInstallButtonIdBase + 18));
    EXPECT_FALSE(Visible(kProgressBarIdBase + 0));
    expectBoth();

    ::SendMessageW(list_wnd_, WM_KEYDOWN, VK_HOME, 0);  // keyboard
    Pump();
    EXPECT_EQ(TopIndex(), 0);
    expectBoth();

    ::SendMessageW(list_wnd_, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0);  // wheel
    Pump();
    EXPECT_GT(TopIndex(), 0);
    expectBoth();

    ::SendMessageW(list_wnd_, LVM_ENSUREVISIBLE, 19, FALSE);
    Pump();
    expectBoth();
    ::SendMessageW(list_wnd_, LVM_ENSUREVISIBLE, 12, FALSE);
    // A click on a row scrolled into view reaches the parent with that row.
    list_->SetRowButtonState(12, 1);
    list_->ShowInstallButtons();
    ::SendMessageW(Child(kInstallButtonIdBase + 12), BM_CLICK, 0, 0);
    Pump();
    ASSERT_EQ(posted_.size(), 1u);
    EXPECT_EQ(posted_[0].wp, static_cast<WPARAM>(kInstallButtonIdBase + 12));
}

TEST_F(ListWindow, BrowseButtonsOfLaterRowsAppearWhenScrolledTo) {
    MakeList(20);
    for (int r = 0; r < 20; ++r) list_->AddViewButton(r, L"View");
    for (int r = 0; r < 20; r += 2) list_->AddRunButton(r, L"Run");
    Pump();
    EXPECT_FALSE(Visible(kViewButtonIdBase + 19));
    ScrollToBottom();
    Pump();
    ExpectControlsOnTheirRows(kViewButtonIdBase, 3, 1, Always);
    ExpectControlsOnTheirRows(kRunButtonIdBase, 4, 1, [](int row) { return row % 2 == 0; });
    EXPECT_TRUE(Visible(kRunButtonIdBase + 18));
    EXPECT_FALSE(Visible(kRunButtonIdBase + 0));
    Click(kRunButtonIdBase + 18);
    ASSERT_EQ(posted_.size(), 1u);
    EXPECT_EQ(posted_[0].msg, static_cast<UINT>(WM_LIST_RUN_CLICK));
    EXPECT_EQ(posted_[0].wp, 18u);
}

TEST_F(ListWindow, ViewAndRunButtonsAreWindowsOnlyOnceTheirRowShows) {
    MakeList(20);
    for (int r = 0; r < 20; ++r) list_->AddViewButton(r, L"View");
    list_->AddRunButton(19, L"Run");
    Pump();
    EXPECT_NE(Child(kViewButtonIdBase), nullptr);
    EXPECT_EQ(Child(kViewButtonIdBase + 19), nullptr);
    EXPECT_EQ(Child(kRunButtonIdBase + 19), nullptr);
    ScrollToBottom();
    Pump();
    ASSERT_NE(Child(kRunButtonIdBase + 19), nullptr);
    EXPECT_EQ(win::GetWindowTextString(Child(kRunButtonIdBase + 19)), L"Run");  // its name
    EXPECT_TRUE(Visible(kViewButtonIdBase + 19));
}

// What a batch changes is placed once, at its end, as if placed on the way;
// the list is drawn again.
TEST_F(ListWindow, ControlsAddedInABatchArePlacedAtItsEnd) {
    MakeList(0);
    {
        const CListCtrlEx::Batch batch(*list_);
        for (int r = 0; r < 20; ++r) {
            list_->InsertItem(r, L"");
            list_->AddViewButton(r, L"View");
        }
        list_->AddRunButton(1, L"Run");
        EXPECT_EQ(Child(kViewButtonIdBase), nullptr);  // nothing made or moved yet
    }
    EXPECT_TRUE(::IsWindowVisible(list_wnd_));
    ExpectControlsOnTheirRows(kViewButtonIdBase, 3, 1, Always);
    ExpectControlsOnTheirRows(kRunButtonIdBase, 4, 1, [](int row) { return row == 1; });
}

TEST_F(ListWindow, ProgressFromAnotherThreadIsAppliedOnTheListThread) {
    MakeList(20);
    for (int r = 0; r < 20; ++r) list_->SetCheck(r, r != 7);
    EnterInstallMode();  // the check boxes go, the ticks stay
    EXPECT_TRUE(Visible(kProgressBarIdBase + 6));
    EXPECT_FALSE(Visible(kProgressBarIdBase + 7));
    // The worker never waits for this thread, which is not pumping meanwhile.
    std::thread worker([this] {
        list_->ShowRowProgress(15, 63);  // below the first page
        list_->ShowRowProgress(7, 20);   // unticked
        list_->ShowRowProgress(20, 90);  // no such row
    });
    worker.join();
    EXPECT_EQ(BarPosition(15), 0);
    Pump();
    int percent = 0;
    ASSERT_TRUE(list_->RowProgress(15, percent));
    EXPECT_EQ(percent, 63);
    EXPECT_EQ(BarPosition(15), 63);
    EXPECT_EQ(list_->GetItemText(15, 4), L" 63 %");
    EXPECT_EQ(BarPosition(7), 20);  // an unticked row keeps its position, hidden
    EXPECT_FALSE(Visible(kProgressBarIdBase + 7));
    for (int r = 0; r < 20; ++r)
        if (r != 15 && r != 7) {
            EXPECT_EQ(BarPosition(r), 0) << r;
            EXPECT_EQ(list_->GetItemText(r, 4), L"") << r;
        }

    // A report that arrives after the bars are gone keeps the value and the text.
    std::thread late([this] { list_->ShowRowProgress(2, 100); });
    list_->DestroyProgressBars();
    late.join();
    Pump();
    ASSERT_TRUE(list_->RowProgress(2, percent));
    EXPECT_EQ(percent, 100);
    EXPECT_EQ(list_->GetItemText(2, 4), L" 100 %");
    EXPECT_EQ(Child(kProgressBarIdBase + 2), nullptr);
}

TEST_F(ListWindow, ScreenshotOfAFullListScrolledHalfWay) {
    MakeList(20);
    for (int r = 0; r < 20; ++r) list_->SetCheck(r, r % 4 != 1);
    EnterInstallMode();
    for (int r = 0; r < 20; ++r) {
        list_->ShowRowProgress(r, (r * 37) % 101);
        if (r % 3 == 0) list_->SetRowButtonState(r, r % 2 ? 2 : 1);
    }
    ASSERT_EQ(list_->CreateInstallButtons(L"Execute", L"Install"), S_OK);
    list_->ShowInstallButtons();
    const RECT row = RowRect(0);
    ::SendMessageW(list_wnd_, LVM_SCROLL, 0, 6 * (row.bottom - row.top));
    Pump(300);
    EXPECT_EQ(TopIndex(), 6);
    ExpectControlsOnTheirRows(kProgressBarIdBase, 3, 5, [](int row) { return row % 4 != 1; });
    const std::wstring path = testsupport::SaveWindowScreenshot(parent_, L"list_install_scrolled");
    if (testsupport::ScreenshotFolder().empty()) GTEST_SKIP() << "PELMORA_SCREENSHOTS not set";
    EXPECT_FALSE(path.empty());
}

}  // namespace
}  // namespace pelmora
