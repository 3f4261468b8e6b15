// Checked downloads: with the maker's key built in, every file Pelmora
// fetches must be named by the release manifest the maker signed, and must
// have that entry's size and digest. The manifest itself is fetched first,
// once per run, and must carry the maker's signature and be fresh: from
// "release.signed", or from the pair "release.txt" and "release.txt.sig" where
// the server has no such file (an earlier publisher).
#pragma once
#include "download/transfer/download_to_file_win.h"
#include "download/transfer/server_files_win.h"
#include "trust/release_manifest.h"
#include "trust/signed_files.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace pelmora {

// Where the highest accepted release serial is kept, in the run's work folder.
std::wstring CatalogueSerialPath(const std::wstring& workFolder);

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
    // The installer's silent arguments the accepted release gives `url`;
    // nullopt without an accepted release, an entry, or arguments in it.
    std::optional<std::string> SilentArguments(const std::wstring& url) const;
    // Accept, Constrain, then the transfer; a body that fails its entry is
    // logged with the file and the reason.
    HRESULT Fetch(const std::wstring& url, const std::wstring& localPath, DWORD timeoutMs);
    // Fetch without waiting for the manifest first: the body is fetched under
    // `options` (the caller's cap) beside the manifest, and kept at
    // `localPath` only once the manifest is accepted and the body has its
    // entry's size and digest; otherwise it is removed and the result says
    // why. For files that are not replaced from `localPath` until the caller
    // takes them (a staging file).
    HRESULT FetchAhead(const std::wstring& url, const std::wstring& localPath, DWORD timeoutMs,
                       const DownloadOptions& options);
    // The user has just given the proxy's credentials: a manifest the proxy
    // refused is fetched again, with them, at the next Accept; once per run.
    void CredentialsGiven();

    // `result` of a constrained transfer; a body that did not match its entry
    // gets a log line naming the file and the reason.
    HRESULT Explain(const std::wstring& url, HRESULT result) const;
    // `result` of a constrained transfer of `url`: a body that did not match
    // its entry (a cache's older copy of a fixed name) is fetched again by
    // `again` from the entry's immutable name, when the release gives one;
    // explained as above when that fails too.
    HRESULT Recover(const std::wstring& url, HRESULT result,
                    const std::function<HRESULT(const std::wstring&)>& again) const;
    // The file's name for the log: below the base URL, or the whole URL.
    std::wstring NameOf(const std::wstring& url) const;

private:
    HRESULT FetchManifest(DWORD timeoutMs);
    HRESULT FetchSignedRelease(DWORD timeoutMs, std::string& bytes, std::string& signature);
    HRESULT FetchPair(DWORD timeoutMs, std::string& bytes, std::string& signature);

    const ReleasePolicy policy_;
    const Transfer transfer_;
    mutable std::mutex mutex_;
    bool tried_ = false;
    bool triedWithCredentials_ = false;
    HRESULT accepted_ = kNotInRelease;
    std::optional<ReleaseIndex> index_;
};

// `transfer` for every file, through `check`.
Downloader CheckedDownloader(std::shared_ptr<ReleaseCheck> check);

}  // namespace pelmora
