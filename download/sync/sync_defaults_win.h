// The start-up's fetches bound to the real transfer, base URL and local root.
#pragma once
#include "catalogue/program_record.h"
#include "download/release_check_win.h"
#include "download/server_files_win.h"

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
// the two stamp files are fetched at once, ahead of their turn (with the
// maker's key, each checked against the release as always); each is handed
// over when the start-up asks.
class StartupPrefetchScope {
  public:
    StartupPrefetchScope();
    ~StartupPrefetchScope();
    StartupPrefetchScope(const StartupPrefetchScope&) = delete;
    StartupPrefetchScope& operator=(const StartupPrefetchScope&) = delete;
};

ServerFiles DefaultServerFiles();

// Message 2031 goes to a message box owned by `owner`.
void SyncModelDatabases(HWND owner);
bool SyncProgramImages(const ProgramTable& table);
void ShowProgramImage(const std::wstring& programName, HWND picture, int language);

}  // namespace pelmora
