#include "download/sync_defaults_win.h"

#include "download/base_url_win.h"
#include "download/download_to_file_win.h"
#include "download/model_database_sync_win.h"
#include "download/program_image_sync_win.h"
#include "download/release_check_win.h"
#include "download/startup_files.h"
#include "download/startup_prefetch_win.h"
#include "ui/prompt_win.h"
#include "win/files_win.h"
#include "win/text_win.h"

#include <memory>
#include <mutex>
#include <vector>

namespace pelmora {

Transfer StartupTransfer() {
    return [](const std::wstring& url, const std::wstring& localPath, DWORD timeoutMs,
              DownloadOptions options) {
        if (!options.maxBytes) options.maxBytes = StartupFileMaxBytes(win::ToU16(url));
        return DownloadToFile(url, localPath, 0, nullptr, timeoutMs, false, options);
    };
}

namespace {

Downloader DirectDownloader() {
    // With the maker's key, every file must be one the signed release lists.
    if (MakerKey()) return CheckedDownloader(CurrentRelease());
    return [transfer = StartupTransfer()](const std::wstring& url, const std::wstring& localPath,
                                          DWORD timeoutMs) {
        return transfer(url, localPath, timeoutMs, DownloadOptions());
    };
}

std::mutex g_prefetchLock;
std::unique_ptr<StartupPrefetch> g_prefetch;  // while a start-up runs

}  // namespace

StartupPrefetchScope::StartupPrefetchScope() {
    // None of these depends on another to be fetched; their order of effects
    // is kept by handing them over only when the start-up reaches them.
    std::vector<std::wstring> urls;
    for (const wchar_t* name :
         {L"Pelmora.txt", L"program_list.txt", L"db_version.txt", L"image_version.txt"})
        urls.push_back(BaseUrl() + name);
    auto prefetch = std::make_unique<StartupPrefetch>(
        DirectDownloader(), urls, win::LocalRoot() + kPelmoraFolder, kSmallFileTimeoutMs);
    const std::lock_guard<std::mutex> guard(g_prefetchLock);
    g_prefetch = std::move(prefetch);
}

StartupPrefetchScope::~StartupPrefetchScope() {
    const std::lock_guard<std::mutex> guard(g_prefetchLock);
    g_prefetch.reset();  // what was not handed over is discarded
}

Downloader StartupDownloader() {
    {
        const std::lock_guard<std::mutex> guard(g_prefetchLock);
        if (g_prefetch) return g_prefetch->Serving();
    }
    return DirectDownloader();
}

ServerFiles DefaultServerFiles() {
    return ServerFiles{BaseUrl(), win::LocalRoot(), StartupDownloader()};
}

void SyncModelDatabases(HWND owner) {
    MessageBoxPrompt prompt(owner);
    SyncModelDatabases(DefaultServerFiles(), prompt);
}

bool SyncProgramImages(const ProgramTable& table) {
    return SyncProgramImages(DefaultServerFiles(), table);
}

void ShowProgramImage(const std::wstring& programName, HWND picture, int language) {
    ShowProgramImage(win::LocalRoot(), programName, picture, language);
}

}  // namespace pelmora
