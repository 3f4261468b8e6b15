#include "download/sync_defaults_win.h"

#include "download/base_url_win.h"
#include "download/download_to_file_win.h"
#include "download/model_database_sync_win.h"
#include "download/program_image_sync_win.h"
#include "download/signed_download_win.h"
#include "download/startup_files.h"
#include "download/startup_prefetch_win.h"
#include "ui/prompt_win.h"
#include "win/files_win.h"
#include "win/text_win.h"

#include <memory>
#include <mutex>
#include <vector>

namespace pelmora {

namespace {

Downloader PlainDownloader() {
    return [](const std::wstring& url, const std::wstring& localPath, DWORD timeoutMs) {
        DownloadOptions options;
        options.maxBytes = StartupFileMaxBytes(win::ToU16(url));
        return DownloadToFile(url, localPath, 0, nullptr, timeoutMs, false, options);
    };
}

std::mutex g_prefetchLock;
std::unique_ptr<StartupPrefetch> g_prefetch;  // while a start-up runs

}  // namespace

StartupPrefetchScope::StartupPrefetchScope() {
    // None of these depends on another to be fetched; their order of effects
    // is kept by handing them over only when the start-up reaches them.
    std::vector<std::wstring> urls;
    for (const wchar_t* name : {L"Pelmora.txt", L"program_list.txt", L"db_version.txt",
                                L"image_version.txt"}) {
        urls.push_back(BaseUrl() + name);
        if (MakerKey()) urls.push_back(BaseUrl() + name + L".sig");
    }
    auto prefetch = std::make_unique<StartupPrefetch>(
        PlainDownloader(), urls, win::LocalRoot() + kPelmoraFolder, kSmallFileTimeoutMs);
    const std::lock_guard<std::mutex> guard(g_prefetchLock);
    g_prefetch = std::move(prefetch);
}

StartupPrefetchScope::~StartupPrefetchScope() {
    const std::lock_guard<std::mutex> guard(g_prefetchLock);
    g_prefetch.reset();  // what was not handed over is discarded
}

Downloader StartupDownloader() {
    Downloader plain = PlainDownloader();
    {
        const std::lock_guard<std::mutex> guard(g_prefetchLock);
        if (g_prefetch) plain = g_prefetch->Serving();
    }
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

bool SyncProgramImages(const ProgramTable& table) {
    return SyncProgramImages(DefaultServerFiles(), table);
}

void ShowProgramImage(const std::wstring& programName, HWND picture, int language) {
    ShowProgramImage(win::LocalRoot(), programName, picture, language);
}

}  // namespace pelmora
