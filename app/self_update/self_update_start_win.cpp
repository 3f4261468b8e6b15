#include "app/self_update/self_update_start_win.h"

#include "download/worker/private_installer_copy_win.h"
#include "string_ids.h"
#include "win/diagnostics_win.h"
#include "win/process_win.h"
#include "win/string_resources_win.h"
#include "win/text_win.h"

namespace pelmora {

DWORD StartSelfInstaller(HWND owner, const FetchedInstaller& installer) {
    const PrivateInstaller copy =
        CopyInstallerPrivately(installer.path, L"Pelmora", installer.digest, installer.privateRoot);
    DWORD error = copy.error;
    if (!copy.path.empty())
        error =
            win::StartProgram(win::ProgramStart{copy.path, {}, {}, win::StartHow::Shell, owner});
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
