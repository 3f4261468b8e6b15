// Checked downloads: with the maker's key built in, every file Pelmora
// fetches must be named by the release manifest the maker signed, and must
// have that entry's size and digest. The manifest itself is fetched first,
// once per run, and must carry the maker's signature and be fresh.
#pragma once
#include "download/download_to_file_win.h"
#include "download/server_files_win.h"
#include "trust/release_manifest.h"
#include "trust/signed_files.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace pelmora {

// The manifest's signature is missing, or not the maker's.
constexpr HRESULT kSignatureMissing = TRUST_E_NOSIGNATURE;
constexpr HRESULT kSignatureInvalid = TRUST_E_BAD_DIGEST;
// A signed manifest older than one accepted before, or past its date.
constexpr HRESULT kReleaseNotFresh = CERT_E_EXPIRED;
// A signed manifest that does not read.
constexpr HRESULT kReleaseUnreadable = Win32Failure(ERROR_INVALID_DATA);
// The URL has no entry in the manifest (or no manifest was accepted): it is
// not requested.
constexpr HRESULT kNotInRelease = TRUST_E_SUBJECT_NOT_TRUSTED;

// The maker's key built into this Pelmora. Set once at start, before any
// other thread runs; without one, files are taken as they come.
void SetMakerKey(std::optional<MakerPublicKey> key);
const std::optional<MakerPublicKey>& MakerKey();

// Where the highest accepted release serial is kept.
std::wstring CatalogueSerialPath(const std::wstring& localRoot);

// One transfer with what the body must match.
using Transfer = std::function<HRESULT(const std::wstring& url, const std::wstring& localPath,
                                       DWORD timeoutMs, const DownloadOptions& options)>;

struct ReleasePolicy {
    MakerPublicKey key{};
    std::wstring baseUrl;     // the manifest is below it, and its relative entries
    std::wstring serialFile;  // keeps the highest serial accepted
    std::wstring workFolder;  // the manifest is fetched there and removed; ends in "\"
    int today = 0;            // YYYYMMDD; 0: the system's UTC date
};

// The release one run of Pelmora accepted. Safe to call from several threads.
class ReleaseCheck {
public:
    ReleaseCheck(ReleasePolicy policy, Transfer transfer);

    // S_OK once the manifest is fetched, signed by the maker, fresh and
    // readable; the first call fetches it (later callers wait for that), every
    // later call gives the same answer. Raises the kept serial.
    HRESULT Accept(DWORD timeoutMs);
    // S_OK with `options` bound to the URL's entry (its size as the cap, its
    // digest as the one to match); otherwise why not, logged, and nothing is
    // to be requested. Never fetches.
    HRESULT Constrain(const std::wstring& url, DownloadOptions& options) const;
    // Accept, Constrain, then the transfer; a body that fails its entry is
    // logged with the file and the reason.
    HRESULT Fetch(const std::wstring& url, const std::wstring& localPath, DWORD timeoutMs);

    // `result` of a constrained transfer; a body that did not match its entry
    // gets a log line naming the file and the reason.
    HRESULT Explain(const std::wstring& url, HRESULT result) const;
    // The file's name for the log: below the base URL, or the whole URL.
    std::wstring NameOf(const std::wstring& url) const;

private:
    HRESULT FetchManifest(DWORD timeoutMs);

    const ReleasePolicy policy_;
    const Transfer transfer_;
    mutable std::mutex mutex_;
    bool tried_ = false;
    HRESULT accepted_ = kNotInRelease;
    std::optional<ReleaseIndex> index_;
};

// This process's check, bound to the built-in key, the base URL and the local
// root; null without a key.
std::shared_ptr<ReleaseCheck> CurrentRelease();

// Before any download outside the start-up's Downloader: without a key S_OK
// and `options` as they were; with one, ReleaseCheck::Constrain.
HRESULT ConstrainToRelease(const std::wstring& url, DownloadOptions& options);

// The digest the accepted release gives `url`; nullopt without a key or entry.
std::optional<Sha256Digest> ReleaseDigest(const std::wstring& url);

// After a download that was constrained: a body that did not match its entry
// gets a log line naming the file and the reason. Returns `result`.
HRESULT ExplainReleaseFailure(const std::wstring& url, HRESULT result);

// `transfer` for every file, through `check`.
Downloader CheckedDownloader(std::shared_ptr<ReleaseCheck> check);

}  // namespace pelmora
