// Fonts and bitmaps of the skin, and the painting steps its windows share.
#pragma once
#include "ui/skin_layout.h"
#include "win/handles_win.h"

#include <windows.h>

#include <string>

namespace pelmora {

// The DPI `window` is shown at: GetDpiForWindow where the system has it
// (Windows 10 1607 on), the screen's LOGPIXELSY before.
int WindowDpi(HWND window);

// A new font of the skin, sized for `dpi`; the caller owns it.
win::GdiObject CreateSkinFont(SkinFont font, int dpi = kBaseDpi);

// The bitmap resource `id` drawn for `dpi` (the next larger set); the caller owns it.
win::GdiObject LoadSkinBitmap(int id, int dpi = kBaseDpi);
SIZE BitmapSize(HBITMAP bitmap);

// Moves and sizes the child `window` to `box` (96-dpi units) of its parent's
// client area, scaled to the window's DPI.
void MoveToBox(HWND window, const Box& box);

// Stretches the whole `bitmap` over `dest` (halftone).
void StretchBitmap(HDC dc, HBITMAP bitmap, const Box& dest);

// Draws `text` in `font` and `colour`, transparent, with DrawTextW `format`.
void DrawSkinText(HDC dc, const std::wstring& text, HFONT font, COLORREF colour, const Box& box,
                  UINT format);

// The left button went down in the top `band` rows (96-dpi units) of `window`'s client
// area: move the window as if its caption had been pressed.
bool DragByBand(HWND window, LPARAM lp, int band);

// `inner` centred on `outer`, then kept on the work area of `outer`'s monitor.
POINT CentredOn(const RECT& outer, SIZE inner);

}  // namespace pelmora
