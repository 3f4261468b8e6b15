#include "app/self_update/self_update_start_win.h"

#include "download/worker/private_installer_copy_win.h"
#include "string_ids.h"
#include "win/diagnostics_win.h"
#include "win/string_resources_win.h"
#include "win/text_win.h"

#include <shellapi.h>

namespace pelmora {

DWORD StartSelfInstaller(HWND owner, const std::wstring& installer,
                         const std::optional<Sha256Digest>& digest) {
    const PrivateInstaller copy = CopyInstallerPrivately(installer, L"Pelmora", digest);
    DWORD error = copy.error;
    if (!copy.path.empty()) {
        SHELLEXECUTEINFOW info = {};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_FLAG_NO_UI;
        info.hwnd = owner;
        info.lpVerb = L"open";
        info.lpFile = copy.path.c_str();
        const std::wstring folder = copy.path.substr(0, copy.path.rfind(L'\\'));
        info.lpDirectory = folder.c_str();
        info.nShow = SW_SHOWNORMAL;
        error = ::ShellExecuteExW(&info) ? ERROR_SUCCESS : ::GetLastError();
        if (error == ERROR_SUCCESS && reinterpret_cast<INT_PTR>(info.hInstApp) <= 32)
            error = ERROR_GEN_FAILURE;
    }
    if (error == ERROR_SUCCESS)
        win::Diag(L"[Pelmora]Pelmora's installer started: " + copy.path + L"\n");
    else
        win::Diag(L"[Pelmora]Pelmora's installer could not be started (" +
                  win::ErrorCodeText(error) + L"); start-up goes on\n");
    return error;
}

std::wstring SelfUpdateNotStartedText(DWORD error) {
    return win::LoadText(IDS_SELF_UPDATE_NOT_STARTED) + L"\n\n" + win::SystemErrorText(error);
}

}  // namespace pelmora
