// An installer's Authenticode signature, checked by the system's
// WinVerifyTrust through an open handle, and its signer compared with the
// publisher compiled into the build. The comparison is ours: Wine's
// WinVerifyTrust checks a signature's integrity but accepts a chain to a
// root nobody trusts.
#pragma once
#include "trust/installer_publisher.h"

#include <windows.h>

#include <string>

namespace pelmora {

struct SignerCheck {
    // ERROR_SUCCESS when one of `publishers` signed the file; otherwise
    // TRUST_E_NOSIGNATURE (unsigned), TRUST_E_SUBJECT_NOT_TRUSTED (signed
    // by another), or what WinVerifyTrust said (a broken signature).
    DWORD error = ERROR_SUCCESS;
    std::string reason;  // why not, for the log and a script's result (UTF-8)
};

// Checks the file open at `file` (read access, nobody writing it; `path`
// names it for the system) against `publishers`.
SignerCheck CheckSigner(HANDLE file, const std::wstring& path, const Publishers& publishers);

// Whether `error` is one CheckSigner reports for an installer it refused.
bool IsSignatureRefusal(DWORD error);

}  // namespace pelmora
