#include "trust/authenticode_win.h"

#include "trust/sha256_win.h"
#include "win/text_win.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <algorithm>
#include <cstdio>

namespace pelmora {
namespace {

std::string HexCode(LONG status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(status));
    return text;
}

std::string SubjectOf(PCCERT_CONTEXT certificate) {
    wchar_t name[256] = {};
    ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, 256);
    return win::ToUtf8(name);
}

// The state WinVerifyTrust keeps between its verify and close actions.
class TrustState {
  public:
    TrustState(HANDLE file, const std::wstring& path) {
        file_.cbStruct = sizeof file_;
        file_.pcwszFilePath = path.c_str();
        file_.hFile = file;
        data_.cbStruct = sizeof data_;
        data_.dwUIChoice = WTD_UI_NONE;
        // A script's run may be offline: no revocation lists fetched.
        data_.fdwRevocationChecks = WTD_REVOKE_NONE;
        data_.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
        data_.dwUnionChoice = WTD_CHOICE_FILE;
        data_.pFile = &file_;
        data_.dwStateAction = WTD_STATEACTION_VERIFY;
        status_ = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
    }
    ~TrustState() {
        data_.dwStateAction = WTD_STATEACTION_CLOSE;
        ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
    }
    TrustState(const TrustState&) = delete;
    TrustState& operator=(const TrustState&) = delete;

    LONG Status() const noexcept { return status_; }
    // The certificate that signed the file; null when none was read.
    PCCERT_CONTEXT Signer() const noexcept {
        CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(data_.hWVTStateData);
        CRYPT_PROVIDER_SGNR* signer =
            provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
        return signer && signer->csCertChain && signer->pasCertChain
                   ? signer->pasCertChain[0].pCert
                   : nullptr;
    }

  private:
    GUID action_ = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_FILE_INFO file_{};
    WINTRUST_DATA data_{};
    LONG status_ = TRUST_E_NOSIGNATURE;
};

}  // namespace

SignerCheck CheckSigner(HANDLE file, const std::wstring& path, const Publishers& publishers) {
    SignerCheck check;
    LARGE_INTEGER start{};
    ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN);
    const TrustState state(file, path);
    const LONG status = state.Status();
    if (status == TRUST_E_NOSIGNATURE || status == TRUST_E_SUBJECT_FORM_UNKNOWN) {
        check.error = static_cast<DWORD>(TRUST_E_NOSIGNATURE);
        check.reason = "the installer carries no signature; only one its publisher signed runs";
        return check;
    }
    // A root the system does not know is no refusal: the publisher's
    // thumbprint below pins the certificate itself. Anything else (bytes
    // changed after signing, a signature that does not verify) is.
    if (status != ERROR_SUCCESS && status != CERT_E_UNTRUSTEDROOT) {
        check.error = static_cast<DWORD>(status);
        check.reason = "the installer's signature does not hold (" + HexCode(status) + ")";
        if (status == TRUST_E_BAD_DIGEST) check.reason += ": it was changed after it was signed";
        return check;
    }
    const PCCERT_CONTEXT signer = state.Signer();
    const std::optional<Sha256Digest> thumbprint =
        signer ? Sha256Of(std::string_view(reinterpret_cast<const char*>(signer->pbCertEncoded),
                                           signer->cbCertEncoded))
               : std::nullopt;
    if (thumbprint &&
        std::find(publishers.begin(), publishers.end(), *thumbprint) != publishers.end())
        return check;
    check.error = static_cast<DWORD>(TRUST_E_SUBJECT_NOT_TRUSTED);
    check.reason = signer && thumbprint
                       ? "the installer is signed by \"" + SubjectOf(signer) + "\" (certificate " +
                             Sha256Hex(*thumbprint) + "), not by the publisher this Pelmora trusts"
                       : "the installer's signer cannot be read";
    return check;
}

bool IsSignatureRefusal(DWORD error) {
    // TRUST_E_* and CERT_E_*: the certificate facility's errors.
    return (error & 0xFFFF0000u) == 0x800B0000u;
}

}  // namespace pelmora
