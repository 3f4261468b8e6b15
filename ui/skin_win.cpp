#include "ui/skin_win.h"

#include <windowsx.h>

#include <algorithm>

namespace pelmora {

int WindowDpi(HWND window) {
    // Looked up at run time: Windows 7 has no GetDpiForWindow.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow && window) {
        if (const UINT dpi = getDpiForWindow(window)) return static_cast<int>(dpi);
    }
    const HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kBaseDpi;
}

win::GdiObject CreateSkinFont(SkinFont font, int dpi) {
    int height = 13, weight = 500;
    switch (font) {
    case SkinFont::Button: height = -14; break;  // character height, as buttons are specified
    case SkinFont::Title: height = 17; weight = 550; break;
    case SkinFont::Subtitle: height = 16; break;
    case SkinFont::List: height = 13; break;
    case SkinFont::DialogTitle: height = 15; break;
    case SkinFont::DialogText: height = 13; break;
    }
    return win::GdiObject(::CreateFontW(ScaleToDpi(height, dpi), 0, 0, 0, weight, FALSE, FALSE,
                                        FALSE,
                                        DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                        PROOF_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Tahoma"));
}

win::GdiObject LoadSkinBitmap(int id, int dpi) {
    const HINSTANCE module = ::GetModuleHandleW(nullptr);
    const int scaled = ScaledBitmapId(id, dpi);
    // A module without the scaled sets (a test's) falls back to the 100 % set.
    if (scaled != id && ::FindResourceW(module, MAKEINTRESOURCEW(scaled), RT_BITMAP)) id = scaled;
    return win::GdiObject(::LoadImageW(module, MAKEINTRESOURCEW(id),
                                       IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS));
}

SIZE BitmapSize(HBITMAP bitmap) {
    BITMAP info{};
    if (!bitmap || !::GetObjectW(bitmap, sizeof(info), &info)) return SIZE{0, 0};
    return SIZE{info.bmWidth, info.bmHeight};
}

void MoveToBox(HWND window, const Box& units) {
    const Box box = ScaleBox(units, WindowDpi(window));
    ::SetWindowPos(window, nullptr, box.left, box.top, box.Width(), box.Height(),
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

void StretchBitmap(HDC dc, HBITMAP bitmap, const Box& dest) {
    if (!bitmap) return;
    const SIZE size = BitmapSize(bitmap);
    win::MemoryDc memory(::CreateCompatibleDC(dc));
    win::SelectObjectScope selected(memory.get(), bitmap);
    const int oldMode = ::SetStretchBltMode(dc, HALFTONE);
    POINT oldOrigin{};
    ::SetBrushOrgEx(dc, 0, 0, &oldOrigin);
    ::StretchBlt(dc, dest.left, dest.top, dest.Width(), dest.Height(), memory.get(), 0, 0,
                 size.cx, size.cy, SRCCOPY);
    ::SetBrushOrgEx(dc, oldOrigin.x, oldOrigin.y, nullptr);
    ::SetStretchBltMode(dc, oldMode);
}

void DrawSkinText(HDC dc, const std::wstring& text, HFONT font, COLORREF colour, const Box& box,
                  UINT format) {
    win::SelectObjectScope selected(dc, font);
    const COLORREF oldColour = ::SetTextColor(dc, colour);
    const int oldMode = ::SetBkMode(dc, TRANSPARENT);
    RECT rect{box.left, box.top, box.right, box.bottom};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, format);
    ::SetBkMode(dc, oldMode);
    ::SetTextColor(dc, oldColour);
}

bool DragByBand(HWND window, LPARAM lp, int band) {
    if (GET_Y_LPARAM(lp) >= ScaleToDpi(band, WindowDpi(window))) return false;
    ::ReleaseCapture();
    POINT screen{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    ::ClientToScreen(window, &screen);
    ::SendMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(screen.x, screen.y));
    return true;
}

POINT CentredOn(const RECT& outer, SIZE inner) {
    POINT p{(outer.left + outer.right) / 2 - inner.cx / 2,
            (outer.top + outer.bottom) / 2 - inner.cy / 2};
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (::GetMonitorInfoW(::MonitorFromRect(&outer, MONITOR_DEFAULTTONEAREST), &monitor)) {
        const RECT& work = monitor.rcWork;
        p.x = std::max(work.left, std::min(p.x, work.right - inner.cx));
        p.y = std::max(work.top, std::min(p.y, work.bottom - inner.cy));
    }
    return p;
}

}  // namespace pelmora
