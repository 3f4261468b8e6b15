// The program's picture in the main window: a static control (SS_BITMAP)
// and the bitmap it shows, which the control never deletes itself.
#pragma once
#include "ui/skin_layout.h"

#include <windows.h>

#include <string>
#include <utility>

namespace pelmora {

class ProgramPicture {
  public:
    ProgramPicture() = default;
    // Takes the bitmap out of a control that still lives, then deletes it.
    ~ProgramPicture();
    ProgramPicture(const ProgramPicture&) = delete;
    ProgramPicture& operator=(const ProgramPicture&) = delete;

    // The pictures are below `localRoot`.
    void Attach(HWND control, std::wstring localRoot) noexcept {
        control_ = control;
        localRoot_ = std::move(localRoot);
    }
    HWND Control() const noexcept { return control_; }
    // The window's DPI. The pictures are made for 96 dpi: above it they grow
    // with the skin, stretched once as they are loaded. A new DPI shows the
    // current picture again.
    void SetDpi(int dpi);

    // Shows the program's picture in the interface language. A missing file
    // leaves the picture as it was until Arrived names it.
    void Show(const std::wstring& programName, int language);
    // A picture that has just arrived at `path`: shown when it is the one
    // last asked for.
    void Arrived(const std::wstring& path);

  private:
    void ShowFile(const std::wstring& path);

    HWND control_ = nullptr;  // the window's
    std::wstring localRoot_;
    HBITMAP bitmap_ = nullptr;  // ours, shown by the control
    int dpi_ = kBaseDpi;
    std::wstring wanted_;  // the file last asked for
};

}  // namespace pelmora
