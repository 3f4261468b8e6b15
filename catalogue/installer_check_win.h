// Install's re-check of a downloaded installer against its digest, on a
// thread of its own: a large installer takes seconds to hash, and the window
// keeps painting and answering meanwhile. The result comes back to the window
// as WM_INSTALLER_CHECKED and carries the checked file's handle, held (and
// so locked against changes) until the installer has been started from it.
#pragma once
#include "trust/sha256.h"
#include "win/handles_win.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace pelmora {

struct InstallerCheck {
    int row = -1;
    std::wstring path;
    Sha256Digest expected{};
    win::File verified;  // set by the check; empty: unreadable or not matching
    std::atomic<bool> givenUp{false};
};

// The checks the window thread has running; only the window thread calls it.
class InstallerChecks {
  public:
    ~InstallerChecks() { GiveUpAll(); }

    bool Running(int row) const;
    // Starts checking `path`; the result is posted to `window`. False when no
    // thread could be started.
    bool Start(HWND window, int row, std::wstring path, const Sha256Digest& expected);
    // The check a WM_INSTALLER_CHECKED carries (its lParam), or null when it
    // was given up since: its handle is then closed without use.
    std::shared_ptr<InstallerCheck> Take(LPARAM message);
    // Every running check stops at its next piece; its result is dropped.
    void GiveUpAll() noexcept;

  private:
    std::vector<std::shared_ptr<InstallerCheck>> running_;
};

}  // namespace pelmora
