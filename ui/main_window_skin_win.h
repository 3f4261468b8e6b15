// The main window's look and window handling: bands and title, the skinned
// buttons (Minimum, Close, Settings, Start, Cancel), dragging by the top band,
// the system menu's about item. Buttons keep their caption as their window
// text, so the workflow sets a caption with SetWindowTextW.
#pragma once
#include <windows.h>

namespace pelmora {

class MainWindowSkin {
public:
    MainWindowSkin() = default;
    MainWindowSkin(const MainWindowSkin&) = delete;
    MainWindowSkin& operator=(const MainWindowSkin&) = delete;

    // Binds to the main window and its button controls (borrowed).
    void Attach(HWND window);
    // Sizes the window to 700 x 400 and places the buttons with their
    // bitmaps and captions in the current interface language.
    void LayOut();
    // Captions again, after the interface language changed.
    void RefreshTexts();

    // Erase, paint, drag, system menu, owner draw, control colours, Minimum
    // and Close. True when handled; `result` is what the dialog procedure
    // returns for it.
    bool HandleMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result);

private:
    HWND window_ = nullptr;  // borrowed
};

}  // namespace pelmora
