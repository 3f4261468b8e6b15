// Install's re-check of a downloaded installer, on a thread of its own: the
// installer is copied to a private folder of the user's and the copy checked
// against its digest, which takes seconds for a large one, while the window
// keeps painting and answering. The result comes back to the window as
// WM_INSTALLER_CHECKED and carries the checked copy's handle, held (and so
// locked against changes) until the installer has been started from it.
#pragma once
#include "download/worker/private_installer_copy_win.h"
#include "trust/sha256.h"
#include "win/handles_win.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pelmora {

struct InstallerCheck {
    int row = -1;
    std::wstring path;         // the downloaded installer
    std::wstring folderName;  // the copy's folder below the private one
    std::optional<Sha256Digest> expected;  // none known: the copy runs unchecked
    Publishers signers;  // whose signature it must carry; none: no signature is asked for
    std::wstring privateRoot;  // below which the copy goes; empty: the temporary folder
    PrivateInstaller copy;    // set by the check; empty path: see its error
    std::atomic<bool> givenUp{false};
};

// The checks the window thread has running; only the window thread calls it.
class InstallerChecks {
  public:
    ~InstallerChecks() { GiveUpAll(); }

    bool Running(int row) const;
    // Starts checking `path`, copied below `privateRoot`; the result is
    // posted to `window`. False when no thread could be started.
    bool Start(HWND window, int row, std::wstring path, std::wstring folderName,
               const std::optional<Sha256Digest>& expected, const Publishers& signers,
               std::wstring privateRoot);
    // The check a WM_INSTALLER_CHECKED carries (its lParam), or null when it
    // was given up since: its handle is then closed without use.
    std::shared_ptr<InstallerCheck> Take(LPARAM message);
    // Every running check stops at its next piece; its result is dropped.
    void GiveUpAll() noexcept;

  private:
    std::vector<std::shared_ptr<InstallerCheck>> running_;
};

}  // namespace pelmora
