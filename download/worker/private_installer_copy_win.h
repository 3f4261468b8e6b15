// Installers run from a copy of the user's own. The download folder lies in
// the common documents folder, which every local user can write: a DLL put
// beside setup.exe there by another account would load into the installer,
// elevated if the user elevates it. The copy lies in a fresh folder below the
// user's temporary folder that only this user (and the system) may open.
#pragma once
#include "trust/installer_publisher.h"
#include "trust/sha256.h"
#include "win/handles_win.h"

#include <optional>
#include <string>

namespace pelmora {

// A checked private copy, held open with read sharing only: nobody can
// change it until the handle goes, after the installer has started.
struct PrivateInstaller {
    std::wstring path;  // empty when no checked copy could be made
    win::File held;
    DWORD error = ERROR_SUCCESS;  // why not, when path is empty
    // Set when the signature refused it (IsSignatureRefusal(error)): why,
    // for a script's result (UTF-8).
    std::string refusal;
};

// Copies `source` to "<root>\Pelmora-installer-<unique>\<folderName>\<its
// file name>" and checks the copy, through the held handle, against `digest`
// when one is known and, when `signers` names any, that one of them signed
// it. <root> is `privateRoot` (an elevated run's own folder, ending in a
// backslash) or, empty, the user's temporary folder. The fresh folder carries
// a marker: the clean-up takes only marked folders for its own. Every failure
// is logged.
PrivateInstaller CopyInstallerPrivately(const std::wstring& source, const std::wstring& folderName,
                                        const std::optional<Sha256Digest>& digest,
                                        const Publishers& signers,
                                        const std::wstring& privateRoot);

// Removes the marked folders of earlier copies below `privateRoot` (as
// above), each entry deleted by the handle it was checked with, never through
// a link; a folder without the marker, or a link, is left as it was. One
// whose installer still runs stays for the next start.
void RemovePrivateInstallerFolders(const std::wstring& privateRoot);

}  // namespace pelmora
