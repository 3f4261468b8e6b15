// The program's picture in the main window: a static control (SS_BITMAP)
// and the bitmap it shows, which the control never deletes itself.
#pragma once
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
    std::wstring wanted_;  // the file last asked for
};

}  // namespace pelmora
