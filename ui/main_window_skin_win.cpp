#include "ui/main_window_skin_win.h"

#include "resource_ids.h"
#include "string_ids.h"
#include "ui/about_dlg_win.h"
#include "ui/skin_win.h"
#include "win/string_resources_win.h"

namespace pelmora {
namespace {

constexpr COLORREF kInnerFill = RGB(239, 242, 244);

void Place(const CSimpleButton& button, const Box& box) { MoveToBox(button.hwnd(), box); }

}  // namespace

MainWindowSkin::MainWindowSkin()
    : titleFont_(CreateSkinFont(SkinFont::Title)),
      subtitleFont_(CreateSkinFont(SkinFont::Subtitle)),
      listFont_(CreateSkinFont(SkinFont::List)),
      innerBrush_(::CreateSolidBrush(kInnerFill)) {}

void MainWindowSkin::Attach(HWND window, bool updatesManaged) {
    window_ = window;
    updatesManaged_ = updatesManaged;
    minimum_.Attach(::GetDlgItem(window, IDC_BTN_MINIMUM));
    close_.Attach(::GetDlgItem(window, IDC_BTN_CLOSE));
    settings_.Attach(::GetDlgItem(window, IDC_BTN_SETTING));
    start_.Attach(::GetDlgItem(window, IDC_BTN_START));
    cancel_.Attach(::GetDlgItem(window, IDC_BTN_CANCEL));
    minimum_.SetDrawCaption(false);
    close_.SetDrawCaption(false);
    topBand_ = LoadSkinBitmap(IDB_TOP_BAND, dpi_);
    bottomBand_ = LoadSkinBitmap(IDB_BOTTOM_BAND, dpi_);
    leftBorder_ = LoadSkinBitmap(IDB_LEFT_BORDER, dpi_);
    rightBorder_ = LoadSkinBitmap(IDB_RIGHT_BORDER, dpi_);
    icon_.reset(static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr),
                                                MAKEINTRESOURCEW(IDI_PELMORA), IMAGE_ICON,
                                                ::GetSystemMetrics(SM_CXICON),
                                                ::GetSystemMetrics(SM_CYICON), 0)));
}

void MainWindowSkin::LayOut() {
    ApplyDpi();
    ::EnableWindow(start_.hwnd(), FALSE);
    ::ShowWindow(cancel_.hwnd(), SW_HIDE);
    RefreshTexts();
}

void MainWindowSkin::OnDpiChanged(const RECT& suggested) {
    ::SetWindowPos(window_, nullptr, suggested.left, suggested.top,
                   suggested.right - suggested.left, suggested.bottom - suggested.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    ApplyDpi();
    ::InvalidateRect(window_, nullptr, TRUE);
}

void MainWindowSkin::ApplyDpi() {
    const int dpi = WindowDpi(window_);
    if (dpi != dpi_) {
        dpi_ = dpi;
        titleFont_ = CreateSkinFont(SkinFont::Title, dpi);
        subtitleFont_ = CreateSkinFont(SkinFont::Subtitle, dpi);
        listFont_ = CreateSkinFont(SkinFont::List, dpi);
        topBand_ = LoadSkinBitmap(IDB_TOP_BAND, dpi);
        bottomBand_ = LoadSkinBitmap(IDB_BOTTOM_BAND, dpi);
        leftBorder_ = LoadSkinBitmap(IDB_LEFT_BORDER, dpi);
        rightBorder_ = LoadSkinBitmap(IDB_RIGHT_BORDER, dpi);
    }
    ::SetWindowPos(window_, nullptr, 0, 0, ScaleToDpi(kMainWidth, dpi),
                   ScaleToDpi(kMainHeight, dpi), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (CSimpleButton* b : {&minimum_, &close_, &settings_, &start_, &cancel_}) b->SetDpi(dpi);
    minimum_.SetBitmapId(IDB_MINIMUM);
    close_.SetBitmapId(IDB_CLOSE);
    settings_.SetBitmapId(IDB_SETTING);
    start_.SetBitmapId(IDB_START);
    cancel_.SetBitmapId(IDB_CANCEL);
    Place(minimum_, kMinimumButton);
    Place(close_, kCloseButton);
    Place(settings_, kSettingsButton);
    Place(start_, kStartButton);
    Place(cancel_, kCancelButton);
    ::SendDlgItemMessageW(window_, IDC_PROGRAM_LIST, WM_SETFONT,
                          reinterpret_cast<WPARAM>(listFont_.get()), TRUE);
}

void MainWindowSkin::RefreshTexts() {
    settings_.SetCaption(win::LoadText(IDS_SETTING));
    start_.SetCaption(win::LoadText(IDS_START_INSTALL));
    cancel_.SetCaption(win::LoadText(IDS_CANCEL));
    minimum_.SetCaption(win::LoadText(IDS_MINIMUM_NAME));
    close_.SetCaption(win::LoadText(IDS_CLOSE_NAME));
    if (window_) ::InvalidateRect(window_, nullptr, TRUE);  // the subtitle is painted
}

void MainWindowSkin::PaintBackground(HDC dc) {
    RECT client{};
    ::GetClientRect(window_, &client);
    const int top = ScaleToDpi(37, dpi_), bottom = ScaleToDpi(13, dpi_);
    const int side = ScaleToDpi(10, dpi_);
    StretchBitmap(dc, static_cast<HBITMAP>(topBand_.get()), Box{0, 0, client.right, top});
    StretchBitmap(dc, static_cast<HBITMAP>(bottomBand_.get()),
                  Box{0, client.bottom - bottom, client.right, client.bottom});
    StretchBitmap(dc, static_cast<HBITMAP>(leftBorder_.get()),
                  Box{0, top, side, client.bottom - bottom});
    StretchBitmap(dc, static_cast<HBITMAP>(rightBorder_.get()),
                  Box{client.right - side, top, client.right, client.bottom - bottom});
    RECT inner{side, top, client.right - side, client.bottom - side};
    if (inner.bottom > client.bottom - bottom) inner.bottom = client.bottom - bottom;
    ::FillRect(dc, &inner, static_cast<HBRUSH>(innerBrush_.get()));
    const UINT line = DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
    DrawSkinText(dc, kMainTitle, static_cast<HFONT>(titleFont_.get()), RGB(255, 255, 255),
                 ScaleBox(kMainTitleBox, dpi_), line);
    // With updates kept by the machine's policy the line says so instead.
    const UINT instruction = updatesManaged_ ? IDS_UPDATES_MANAGED : IDS_SELECT_PROGRAM;
    DrawSkinText(dc, win::LoadText(instruction), static_cast<HFONT>(subtitleFont_.get()),
                 RGB(0, 0, 0), ScaleBox(kMainSubtitleBox, dpi_), line);
}

void MainWindowSkin::Minimise() {
    // A window without the system-menu and minimise-box styles cannot be
    // minimised; keep what it shows and how it paints.
    const LONG_PTR keep = ::GetWindowLongPtrW(window_, GWL_STYLE) &
                          (WS_VISIBLE | WS_POPUP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS);
    ::SetWindowLongPtrW(window_, GWL_STYLE, keep | WS_SYSMENU | WS_MINIMIZEBOX);
    ::ShowWindow(window_, SW_MINIMIZE);
}

CSimpleButton* MainWindowSkin::ButtonOf(HWND control) {
    for (CSimpleButton* b : {&minimum_, &close_, &settings_, &start_, &cancel_})
        if (control && b->hwnd() == control) return b;
    return nullptr;
}

bool MainWindowSkin::HandleMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) {
    switch (msg) {
    case WM_ERASEBKGND:
        if (::IsIconic(window_)) return false;
        PaintBackground(reinterpret_cast<HDC>(wp));
        ::SetWindowLongPtrW(window_, DWLP_MSGRESULT, 1);
        result = TRUE;
        return true;
    case WM_PAINT: {
        if (!::IsIconic(window_)) return false;
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(window_, &ps);
        RECT client{};
        ::GetClientRect(window_, &client);
        const int cx = ::GetSystemMetrics(SM_CXICON), cy = ::GetSystemMetrics(SM_CYICON);
        ::DrawIcon(dc, (client.right - cx + 1) / 2, (client.bottom - cy + 1) / 2, icon_.get());
        ::EndPaint(window_, &ps);
        result = TRUE;
        return true;
    }
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<INT_PTR>(icon_.get());
        return true;
    case WM_LBUTTONDOWN:
        if (!DragByBand(window_, lp, kMainDragBand)) return false;
        result = TRUE;
        return true;
    case WM_LBUTTONUP: {
        // Minimum took the system menu's frame change away; give it back.
        const LONG_PTR style = ::GetWindowLongPtrW(window_, GWL_STYLE);
        ::SetWindowLongPtrW(window_, GWL_STYLE, style | WS_SYSMENU);
        ::SetWindowPos(window_, nullptr, 0, 0, 0, 0,
                       SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return false;
    }
    case WM_SYSCOMMAND:
        if ((wp & 0xFFF0) != IDM_ABOUTBOX) return false;
        CAboutDlg().DoModal(window_);
        result = TRUE;
        return true;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        CSimpleButton* button = item ? ButtonOf(item->hwndItem) : nullptr;
        if (!button) return false;
        button->DrawItem(*item);
        ::SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
        result = TRUE;
        return true;
    }
    case WM_COMMAND:
        if (LOWORD(wp) == IDC_BTN_CLOSE) {
            ::PostMessageW(window_, WM_CLOSE, 0, 0);
        } else if (LOWORD(wp) == IDC_BTN_MINIMUM) {
            Minimise();
        } else {
            return false;
        }
        result = TRUE;
        return true;
    default:
        return false;
    }
}

}  // namespace pelmora
