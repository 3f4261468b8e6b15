// The main window's look and window handling: bands and title, the skinned
// buttons (Minimum, Close, Settings, Start, Cancel), dragging by the top band,
// the system menu's about item. Buttons keep their caption as their window
// text, so the workflow sets a caption with SetWindowTextW.
#pragma once
#include "ui/simple_button_win.h"
#include "win/handles_win.h"

#include <windows.h>

namespace pelmora {

class MainWindowSkin {
public:
    MainWindowSkin();
    MainWindowSkin(const MainWindowSkin&) = delete;
    MainWindowSkin& operator=(const MainWindowSkin&) = delete;

    // Binds to the main window and its button controls (borrowed).
    // `updatesManaged`: the machine's policy keeps installs from the user.
    void Attach(HWND window, bool updatesManaged = false);
    // Sizes the window to 700 x 400 (96-dpi units, scaled to its DPI), places
    // the buttons with their bitmaps and captions in the current interface
    // language, and gives the list the font its texts were measured in.
    void LayOut();
    // The window moved to a monitor of another DPI: takes the system's
    // suggested rectangle, then sizes, fonts and faces for the new DPI. The
    // caller places the list and the picture again.
    void OnDpiChanged(const RECT& suggested);
    int Dpi() const noexcept { return dpi_; }
    // Captions again, after the interface language changed.
    void RefreshTexts();

    // Erase, paint, drag, system menu, owner draw, Minimum and Close. True
    // when handled; `result` is what the dialog procedure returns for it.
    bool HandleMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result);

private:
    // Everything the DPI decides: the window's size, the fonts, the bands and
    // the buttons' faces and places.
    void ApplyDpi();
    void PaintBackground(HDC dc);
    void Minimise();
    CSimpleButton* ButtonOf(HWND control);

    HWND window_ = nullptr;  // borrowed
    bool updatesManaged_ = false;
    int dpi_ = 96;
    CSimpleButton minimum_;
    CSimpleButton close_;
    CSimpleButton settings_;
    CSimpleButton start_;
    CSimpleButton cancel_;
    win::GdiObject titleFont_;
    win::GdiObject subtitleFont_;
    win::GdiObject listFont_;
    win::GdiObject topBand_;
    win::GdiObject bottomBand_;
    win::GdiObject leftBorder_;
    win::GdiObject rightBorder_;
    win::GdiObject innerBrush_;
    win::Icon icon_;
};

}  // namespace pelmora
