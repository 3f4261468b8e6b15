// Starting Pelmora's own fetched installer from the window, from a checked
// private copy, shown so that it may ask for elevation.
#pragma once
#include "download/worker/installer_pipeline_win.h"

#include <windows.h>

#include <optional>
#include <string>

namespace pelmora {

// ERROR_SUCCESS once the installer runs; otherwise why it does not (the
// user declined elevation: ERROR_CANCELLED; no private copy; not a program;
// not signed by one of `signers`, when it names any). With `msiFolder`, the
// installer is Pelmora's MSI, installed by msiexec into that folder (where the
// MSI put Pelmora before).
DWORD StartSelfInstaller(HWND owner, const FetchedInstaller& installer,
                         const Publishers& signers,
                         const std::optional<std::wstring>& msiFolder = std::nullopt);

// The user's words for a self-update that did not start: the message and the
// system's reason, or the signature's.
std::wstring SelfUpdateNotStartedText(DWORD error);

// The user's words for an installer its signature refused
// (IsSignatureRefusal(error)): unsigned, changed since, or someone else's.
std::wstring SignatureRefusalText(DWORD error);

}  // namespace pelmora
