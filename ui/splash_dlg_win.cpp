#include "ui/splash_dlg_win.h"

#include "resource_ids.h"
#include "ui/skin_win.h"

namespace pelmora {

CSplashDlg::CSplashDlg() : win::Dialog(IDD_SPLASH) {}

bool CSplashDlg::Open() {
    if (IsOpen()) return true;
    if (!Create(nullptr)) return false;
    ::ShowWindow(hwnd(), SW_SHOW);
    ::UpdateWindow(hwnd());  // the start-up blocks this thread next
    return true;
}

void CSplashDlg::Close() noexcept { Destroy(); }

BOOL CSplashDlg::OnInitDialog() {
    if (!picture_) picture_ = LoadSkinBitmap(IDB_SPLASH);
    RECT screen{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    const POINT at = CentredOn(screen, SIZE{kSplashWidth, kSplashHeight});
    ::SetWindowPos(hwnd(), HWND_TOP, at.x, at.y, kSplashWidth, kSplashHeight, SWP_NOACTIVATE);
    return FALSE;
}

INT_PTR CSplashDlg::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(::GetStockObject(BLACK_BRUSH));
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd(), &ps);
        const SIZE size = BitmapSize(static_cast<HBITMAP>(picture_.get()));
        StretchBitmap(dc, static_cast<HBITMAP>(picture_.get()), Box{0, 0, size.cx, size.cy});
        ::EndPaint(hwnd(), &ps);
        return TRUE;
    }
    default:
        return win::Dialog::HandleMessage(msg, wp, lp);
    }
}

}  // namespace pelmora
