#include "ui/skin_win.h"

#include <windowsx.h>

#include <algorithm>

namespace pelmora {

win::GdiObject CreateSkinFont(SkinFont font) {
    int height = 13, weight = 500;
    switch (font) {
    case SkinFont::Button: height = -14; break;  // character height, as buttons are specified
    case SkinFont::Title: height = 17; weight = 550; break;
    case SkinFont::Subtitle: height = 16; break;
    case SkinFont::List: height = 13; break;
    case SkinFont::DialogTitle: height = 15; break;
    case SkinFont::DialogText: height = 13; break;
    }
    return win::GdiObject(::CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE,
                                        DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                        PROOF_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Tahoma"));
}

win::GdiObject LoadSkinBitmap(int id) {
    return win::GdiObject(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id),
                                       IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS));
}

SIZE BitmapSize(HBITMAP bitmap) {
    BITMAP info{};
    if (!bitmap || !::GetObjectW(bitmap, sizeof(info), &info)) return SIZE{0, 0};
    return SIZE{info.bmWidth, info.bmHeight};
}

void MoveToBox(HWND window, const Box& box) {
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
    if (GET_Y_LPARAM(lp) >= band) return false;
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
