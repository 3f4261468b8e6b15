// Fonts and bitmaps of the skin, and the painting steps its windows share.
#pragma once
#include "ui/skin_layout.h"
#include "win/handles_win.h"

#include <windows.h>

#include <string>

namespace pelmora {

// A new font of the skin; the caller owns it.
win::GdiObject CreateSkinFont(SkinFont font);

// A bitmap resource of this module; the caller owns it.
win::GdiObject LoadSkinBitmap(int id);
SIZE BitmapSize(HBITMAP bitmap);

// Moves and sizes the child `window` to `box` of its parent's client area.
void MoveToBox(HWND window, const Box& box);

// Stretches the whole `bitmap` over `dest` (halftone).
void StretchBitmap(HDC dc, HBITMAP bitmap, const Box& dest);

// Draws `text` in `font` and `colour`, transparent, with DrawTextW `format`.
void DrawSkinText(HDC dc, const std::wstring& text, HFONT font, COLORREF colour, const Box& box,
                  UINT format);

// The left button went down in the top `band` rows of `window`'s client
// area: move the window as if its caption had been pressed.
bool DragByBand(HWND window, LPARAM lp, int band);

// `inner` centred on `outer`, then kept on the work area of `outer`'s monitor.
POINT CentredOn(const RECT& outer, SIZE inner);

}  // namespace pelmora
