#include "download/sync_defaults_win.h"

#include "download/base_url_win.h"
#include "download/download_to_file_win.h"
#include "download/model_database_sync_win.h"
#include "download/program_image_sync_win.h"
#include "download/signed_download_win.h"
#include "download/startup_files.h"
#include "ui/prompt_win.h"
#include "win/files_win.h"
#include "win/text_win.h"

namespace pelmora {

Downloader StartupDownloader() {
    Downloader plain = [](const std::wstring& url, const std::wstring& localPath, DWORD timeoutMs) {
        DownloadOptions options;
        options.maxBytes = StartupFileMaxBytes(win::ToU16(url));
        return DownloadToFile(url, localPath, 0, nullptr, timeoutMs, false, options);
    };
    if (!MakerKey()) return plain;
    return SignedDownloader(std::move(plain), SignaturePolicy{*MakerKey(), BaseUrl(),
                                                             CatalogueSerialPath(win::LocalRoot())});
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
