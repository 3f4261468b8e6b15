#include "ui/splash_dlg_win.h"

#include "download/transfer/painting_wait_win.h"
#include "resource_ids.h"
#include "ui/skin_win.h"

namespace pelmora {

CSplashDlg::CSplashDlg() : win::Dialog(IDD_SPLASH) {}

bool CSplashDlg::Open(std::function<void()> onUserClose) {
    if (IsOpen()) return true;
    onUserClose_ = std::move(onUserClose);
    if (!Create(nullptr)) return false;
    ServeDuringWaits(hwnd());
    ::ShowWindow(hwnd(), SW_SHOW);
    ::UpdateWindow(hwnd());  // the start-up blocks this thread next
    return true;
}

void CSplashDlg::Close() noexcept { Destroy(); }

// Esc arrives as IDCANCEL (IsDialogMessage), Alt+F4 and a close as WM_CLOSE.
bool CSplashDlg::OnCommand(WORD id, WORD code, HWND control) {
    if (id == IDCANCEL) OnClose();
    else if (id != IDOK) return win::Dialog::OnCommand(id, code, control);
    return true;  // Enter does nothing
}

void CSplashDlg::OnClose() {
    const std::function<void()> callback = onUserClose_;
    Close();
    if (callback) callback();
}

void CSplashDlg::OnDestroy() { ServeDuringWaits(nullptr); }

BOOL CSplashDlg::OnInitDialog() {
    const int dpi = WindowDpi(hwnd());
    if (!picture_) picture_ = LoadSkinBitmap(IDB_SPLASH, dpi);
    RECT screen{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    const SIZE size{ScaleToDpi(kSplashWidth, dpi), ScaleToDpi(kSplashHeight, dpi)};
    const POINT at = CentredOn(screen, size);
    ::SetWindowPos(hwnd(), HWND_TOP, at.x, at.y, size.cx, size.cy, SWP_NOACTIVATE);
    return FALSE;
}

INT_PTR CSplashDlg::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(::GetStockObject(BLACK_BRUSH));
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd(), &ps);
        RECT client{};
        ::GetClientRect(hwnd(), &client);  // the picture's size in 96-dpi units, scaled
        StretchBitmap(dc, static_cast<HBITMAP>(picture_.get()),
                      Box{0, 0, client.right, client.bottom});
        ::EndPaint(hwnd(), &ps);
        return TRUE;
    }
    default:
        return win::Dialog::HandleMessage(msg, wp, lp);
    }
}

}  // namespace pelmora
