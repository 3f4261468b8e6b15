// The start-up's fetches bound to the real transfer, base URL and local root.
#pragma once
#include "catalogue/model/program_record.h"
#include "download/release/release_check_win.h"
#include "download/transfer/server_files_win.h"

#include <windows.h>

#include <string>

namespace pelmora {

// DownloadToFile without a progress row, cache entry deleted first, a text
// file capped unless the options say otherwise.
Transfer StartupTransfer();
// StartupTransfer; with the maker's key built in, checked against the release.
// While a StartupPrefetchScope lives, the start-up's small files come from its
// fetches.
Downloader StartupDownloader();

// From its construction to its end, the self-version file, the catalogue and
// the two stamp files are fetched at once, ahead of their turn; with the
// maker's key, beside the signed manifest and each taken only once it was
// accepted and lists it as fetched. Each is handed over when the start-up asks.
class StartupPrefetchScope {
  public:
    StartupPrefetchScope();
    ~StartupPrefetchScope();
    StartupPrefetchScope(const StartupPrefetchScope&) = delete;
    StartupPrefetchScope& operator=(const StartupPrefetchScope&) = delete;
};

ServerFiles DefaultServerFiles();
// DefaultServerFiles for the pictures beside the window: the picture stamps'
// early fetch is kept for them even after the start-up's scope has ended.
ServerFiles PictureServerFiles();

// The user has given the proxy's credentials: with the maker's key, a
// manifest the proxy refused is fetched again with them (once).
void ProxyCredentialsGiven();

// Message 2031 goes to a message box owned by `owner`.
void SyncModelDatabases(HWND owner);
bool SyncProgramImages(const ProgramTable& table);

// This process's check, bound to the built-in key, the base URL and the local
// root; null without a key.
std::shared_ptr<ReleaseCheck> CurrentRelease();

// Before any download outside the start-up's Downloader: without a key S_OK
// and `options` as they were; with one, ReleaseCheck::Constrain.
HRESULT ConstrainToRelease(const std::wstring& url, DownloadOptions& options);

// The digest the accepted release gives `url`; nullopt without a key or entry.
std::optional<Sha256Digest> ReleaseDigest(const std::wstring& url);

// The silent arguments of the installer at `url`: the accepted release's,
// and "/S" (the NSIS switch) without a key or arguments in the release.
std::wstring InstallerSilentArguments(const std::wstring& url);

// After a download that was constrained: a body that did not match its entry
// gets a log line naming the file and the reason. Returns `result`.
HRESULT ExplainReleaseFailure(const std::wstring& url, HRESULT result);

}  // namespace pelmora
