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
    // Sizes the window to 700 x 400, places the buttons with their bitmaps
    // and captions in the current interface language, and gives the list
    // the font its texts were measured in.
    void LayOut();
    // Captions again, after the interface language changed.
    void RefreshTexts();

    // Erase, paint, drag, system menu, owner draw, Minimum and Close. True
    // when handled; `result` is what the dialog procedure returns for it.
    bool HandleMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result);

private:
    void PaintBackground(HDC dc);
    void Minimise();
    CSimpleButton* ButtonOf(HWND control);

    HWND window_ = nullptr;  // borrowed
    bool updatesManaged_ = false;
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
