// The start-up's fetches bound to the real transfer, base URL and local root.
#pragma once
#include "catalogue/program_record.h"
#include "download/server_files_win.h"

#include <windows.h>

#include <string>

namespace pelmora {

// DownloadToFile without a progress row, cache entry deleted first; while a
// StartupPrefetchScope lives, the start-up's small files come from its fetches.
Downloader StartupDownloader();

// From its construction to its end, the self-version file, the catalogue and
// the two stamp files (with their signatures, for a keyed build) are fetched
// at once, ahead of their turn; each is handed over when the start-up asks.
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
