// Starting Pelmora's own fetched installer from the window, from a checked
// private copy, shown so that it may ask for elevation.
#pragma once
#include "download/worker/installer_pipeline_win.h"

#include <windows.h>

#include <optional>
#include <string>

namespace pelmora {

// ERROR_SUCCESS once the installer runs; otherwise why it does not (the
// user declined elevation: ERROR_CANCELLED; no private copy; not a program).
// With `msiFolder`, the installer is Pelmora's MSI, installed by msiexec into
// that folder (where the MSI put Pelmora before).
DWORD StartSelfInstaller(HWND owner, const FetchedInstaller& installer,
                         const std::optional<std::wstring>& msiFolder = std::nullopt);

// The user's words for a self-update that did not start: the message and the
// system's reason.
std::wstring SelfUpdateNotStartedText(DWORD error);

}  // namespace pelmora
