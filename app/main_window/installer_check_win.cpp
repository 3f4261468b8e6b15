#include "app/main_window/installer_check_win.h"

#include "ui/window_messages.h"
#include "win/diagnostics_win.h"
#include "win/text_win.h"
#include "win/thread_win.h"

#include <algorithm>
#include <new>

namespace pelmora {
namespace {

void RunCheck(const std::shared_ptr<InstallerCheck>& shared, HWND window) noexcept {
    InstallerCheck& check = *shared;
    if (!check.givenUp)
        check.copy =
            CopyInstallerPrivately(check.path, check.folderName, check.expected, check.signers,
                                   check.privateRoot);
    // Posted, never sent: the window thread never waits for us. The message
    // owns a reference until the window takes it; a window that is gone
    // already never will.
    auto* reference = new (std::nothrow) std::shared_ptr<InstallerCheck>(shared);
    if (reference &&
        !::PostMessageW(window, WM_INSTALLER_CHECKED, 0, reinterpret_cast<LPARAM>(reference)))
        delete reference;
}

}  // namespace

bool InstallerChecks::Running(int row) const {
    return std::any_of(running_.begin(), running_.end(),
                       [row](const auto& check) { return check->row == row; });
}

bool InstallerChecks::Start(HWND window, int row, std::wstring path, std::wstring folderName,
                            const std::optional<Sha256Digest>& expected,
                            const Publishers& signers, std::wstring privateRoot) {
    auto check = std::make_shared<InstallerCheck>();
    check->row = row;
    check->path = std::move(path);
    check->folderName = std::move(folderName);
    check->expected = expected;
    check->signers = signers;
    check->privateRoot = std::move(privateRoot);
    if (!win::StartDetachedThread([check, window] { RunCheck(check, window); })) {
        win::Diag(L"[Pelmora]No thread for the installer check: " +
                  win::ErrorCodeText(::GetLastError()) + L"\n");
        return false;
    }
    running_.push_back(std::move(check));
    return true;
}

std::shared_ptr<InstallerCheck> InstallerChecks::Take(LPARAM message) {
    const std::unique_ptr<std::shared_ptr<InstallerCheck>> reference(
        reinterpret_cast<std::shared_ptr<InstallerCheck>*>(message));
    if (!reference) return nullptr;
    const auto found = std::find(running_.begin(), running_.end(), *reference);
    if (found == running_.end()) return nullptr;
    running_.erase(found);
    return *reference;
}

void InstallerChecks::GiveUpAll() noexcept {
    for (const auto& check : running_) check->givenUp = true;
    running_.clear();
}

}  // namespace pelmora
