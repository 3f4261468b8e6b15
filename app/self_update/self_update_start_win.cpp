#include "app/self_update/self_update_start_win.h"

#include "download/worker/private_installer_copy_win.h"
#include "string_ids.h"
#include "trust/authenticode_win.h"
#include "win/diagnostics_win.h"
#include "win/process_win.h"
#include "win/string_resources_win.h"
#include "win/text_win.h"

namespace pelmora {

DWORD StartSelfInstaller(HWND owner, const FetchedInstaller& installer,
                         const Publishers& signers,
                         const std::optional<std::wstring>& msiFolder) {
    const PrivateInstaller copy =
        CopyInstallerPrivately(installer.path, L"Pelmora", installer.digest, signers,
                               installer.privateRoot);
    DWORD error = copy.error;
    if (!copy.path.empty() && msiFolder) {
        std::wstring arguments = L"/i \"" + copy.path + L"\"";
        if (!msiFolder->empty()) arguments += L" INSTALLDIR=\"" + *msiFolder + L"\"";
        error = win::StartProgram(win::ProgramStart{win::SystemProgram(L"msiexec.exe"), arguments,
                                                    {}, win::StartHow::Shell, owner});
    } else if (!copy.path.empty()) {
        error =
            win::StartProgram(win::ProgramStart{copy.path, {}, {}, win::StartHow::Shell, owner});
    }
    if (error == ERROR_SUCCESS)
        win::Diag(L"[Pelmora]Pelmora's installer started: " + copy.path + L"\n");
    else
        win::Diag(L"[Pelmora]Pelmora's installer could not be started (" +
                  win::ErrorCodeText(error) + L"); start-up goes on\n");
    return error;
}

std::wstring SelfUpdateNotStartedText(DWORD error) {
    return win::LoadText(IDS_SELF_UPDATE_NOT_STARTED) + L"\n\n" +
           (IsSignatureRefusal(error) ? SignatureRefusalText(error) : win::SystemErrorText(error));
}

std::wstring SignatureRefusalText(DWORD error) {
    if (error == static_cast<DWORD>(TRUST_E_NOSIGNATURE))
        return win::LoadText(IDS_INSTALLER_UNSIGNED);
    if (error == static_cast<DWORD>(TRUST_E_SUBJECT_NOT_TRUSTED))
        return win::LoadText(IDS_INSTALLER_OTHER_PUBLISHER);
    return win::LoadText(IDS_INSTALLER_SIGNATURE_BROKEN);
}

}  // namespace pelmora
