// What a transfer with a progress row needs of the window that shows it.
// The main window implements it over its program list; tests use their own.
#pragma once

namespace pelmora {

class ProgressTarget {
public:
    virtual ~ProgressTarget() = default;
    // Cleared means the user cancelled the install run.
    virtual bool InstallActive() const = 0;
    // Shows `percent` for `row`: stores it in the list's per-row progress,
    // refreshes the row's bar and writes " %d %%" into column 4.
    virtual void ShowRowProgress(int row, int percent) = 0;
    // A manual-reset event (a HANDLE) set when the user cancels, or null.
    // A transfer waits on it too, so a cancel ends DownloadToFile at once,
    // even while the server sends nothing.
    virtual void* CancelEvent() const { return nullptr; }
};

}  // namespace pelmora
