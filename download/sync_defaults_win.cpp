#include "download/sync_defaults_win.h"

#include "download/base_url_win.h"
#include "download/download_to_file_win.h"
#include "download/model_database_sync_win.h"
#include "download/program_image_sync_win.h"
#include "download/release_check_win.h"
#include "download/startup_files.h"
#include "ui/prompt_win.h"
#include "win/files_win.h"
#include "win/text_win.h"

namespace pelmora {

Transfer StartupTransfer() {
    return [](const std::wstring& url, const std::wstring& localPath, DWORD timeoutMs,
              DownloadOptions options) {
        if (!options.maxBytes) options.maxBytes = StartupFileMaxBytes(win::ToU16(url));
        return DownloadToFile(url, localPath, 0, nullptr, timeoutMs, false, options);
    };
}

Downloader StartupDownloader() {
    // With the maker's key, every file must be one the signed release lists.
    if (MakerKey()) return CheckedDownloader(CurrentRelease());
    return [transfer = StartupTransfer()](const std::wstring& url, const std::wstring& localPath,
                                          DWORD timeoutMs) {
        return transfer(url, localPath, timeoutMs, DownloadOptions());
    };
}

ServerFiles DefaultServerFiles() {
    return ServerFiles{BaseUrl(), win::LocalRoot(), StartupDownloader()};
}

void SyncModelDatabases(HWND owner) {
    MessageBoxPrompt prompt(owner);
    SyncModelDatabases(DefaultServerFiles(), prompt);
}

void SyncProgramImages(const ProgramTable& table) {
    SyncProgramImages(DefaultServerFiles(), table);
}

void ShowProgramImage(const std::wstring& programName, HWND picture, int language) {
    ShowProgramImage(win::LocalRoot(), programName, picture, language);
}

}  // namespace pelmora
