// Taking the start-up's signed files only as the maker signed them.
#pragma once
#include "download/server_files_win.h"
#include "trust/signed_files.h"

#include <windows.h>

#include <optional>
#include <string>

namespace pelmora {

// A signed file arrived, but not as the maker signed it (or with no signature).
constexpr HRESULT kSignatureMissing = TRUST_E_NOSIGNATURE;
constexpr HRESULT kSignatureInvalid = TRUST_E_BAD_DIGEST;
// A signed catalogue older than one accepted before, past its date, or with
// a freshness field that does not read.
constexpr HRESULT kCatalogueNotFresh = CERT_E_EXPIRED;

// The maker's key built into this Pelmora. Set once at start, before any
// other thread runs; without one, files are taken as they come.
void SetMakerKey(std::optional<MakerPublicKey> key);
const std::optional<MakerPublicKey>& MakerKey();

struct SignaturePolicy {
    MakerPublicKey key{};
    std::wstring baseUrl;     // the signed files are below it
    std::wstring serialFile;  // keeps the highest catalogue serial accepted
    int today = 0;            // YYYYMMDD; 0: the system's UTC date at each fetch
};

// Where the highest accepted catalogue serial is kept.
std::wstring CatalogueSerialPath(const std::wstring& localRoot);

// `inner` for every file. For a signed file it also fetches "<url>.sig", and
// the file reaches `localPath` only when the signature is the maker's and,
// for the catalogue, when it is fresh; otherwise the fetch fails with the
// results above, the local file stays as it was, and a diagnostic line says
// why.
Downloader SignedDownloader(Downloader inner, SignaturePolicy policy);

}  // namespace pelmora
