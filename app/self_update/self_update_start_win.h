// Starting Pelmora's own downloaded installer, from a checked private copy.
#pragma once
#include "trust/sha256.h"

#include <windows.h>

#include <optional>
#include <string>

namespace pelmora {

// ERROR_SUCCESS once the installer runs; otherwise why it does not (the
// user declined elevation: ERROR_CANCELLED; no private copy; not a program).
DWORD StartSelfInstaller(HWND owner, const std::wstring& installer,
                         const std::optional<Sha256Digest>& digest);

// The user's words for a self-update that did not start: the message and the
// system's reason.
std::wstring SelfUpdateNotStartedText(DWORD error);

}  // namespace pelmora
