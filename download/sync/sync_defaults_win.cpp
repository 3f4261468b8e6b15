#include "download/sync/sync_defaults_win.h"

#include "download/url/base_url_win.h"
#include "download/transfer/download_to_file_win.h"
#include "download/sync/model_database_sync_win.h"
#include "download/sync/program_image_sync_win.h"
#include "download/release/release_check_win.h"
#include "download/sync/startup_files.h"
#include "download/sync/startup_prefetch_win.h"
#include "win/prompt_win.h"
#include "win/files_win.h"
#include "win/text_win.h"
#include "win/thread_win.h"

#include <memory>
#include <mutex>
#include <vector>

namespace pelmora {

Transfer StartupTransfer() {
    return [](const std::wstring& url, const std::wstring& localPath, DWORD timeoutMs,
              DownloadOptions options) {
        if (!options.maxBytes) options.maxBytes = StartupFileMaxBytes(win::ToU16(url));
        if (!options.rateFloor.minBytesPerSecond)
            options.rateFloor = RateFloor{kStartupMinBytesPerSecond, kStartupSlowGraceMs};
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

// Early fetches: with the maker's key, beside the manifest rather than after it.
Downloader AheadDownloader() {
    const std::shared_ptr<ReleaseCheck> check = CurrentRelease();
    if (!check) return DirectDownloader();
    return [check](const std::wstring& url, const std::wstring& localPath, DWORD timeoutMs) {
        return check->FetchAhead(url, localPath, timeoutMs, DownloadOptions());
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
    // The manifest and its signature start now, beside the files it vouches for.
    if (const std::shared_ptr<ReleaseCheck> check = CurrentRelease())
        win::StartDetachedThread(
            [check]() noexcept {
                try {
                    check->Accept(kSmallFileTimeoutMs);
                } catch (...) {  // the first file asks again
                }
            },
            256 * 1024);
    auto prefetch = std::make_unique<StartupPrefetch>(DirectDownloader(), AheadDownloader(), urls,
                                                      win::LocalRoot() + kPelmoraFolder,
                                                      kSmallFileTimeoutMs);
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

ServerFiles PictureServerFiles() {
    const std::wstring stamps = BaseUrl() + L"image_version.txt";
    {
        const std::lock_guard<std::mutex> guard(g_prefetchLock);
        if (g_prefetch) return ServerFiles{BaseUrl(), win::LocalRoot(), g_prefetch->Keep(stamps)};
    }
    return ServerFiles{BaseUrl(), win::LocalRoot(), DirectDownloader()};
}

void ProxyCredentialsGiven() {
    if (const std::shared_ptr<ReleaseCheck> check = CurrentRelease()) check->CredentialsGiven();
}

void SyncModelDatabases(HWND owner) {
    MessageBoxPrompt prompt(owner);
    SyncModelDatabases(DefaultServerFiles(), prompt);
}

bool SyncProgramImages(const ProgramTable& table) {
    return SyncProgramImages(DefaultServerFiles(), table);
}

std::shared_ptr<ReleaseCheck> CurrentRelease() {
    static const std::shared_ptr<ReleaseCheck> check = []() -> std::shared_ptr<ReleaseCheck> {
        if (!MakerKey()) return nullptr;
        const std::wstring root = win::LocalRoot();
        return std::make_shared<ReleaseCheck>(
            ReleasePolicy{*MakerKey(), BaseUrl(), CatalogueSerialPath(root), root + kPelmoraFolder},
            StartupTransfer());
    }();
    return check;
}

HRESULT ConstrainToRelease(const std::wstring& url, DownloadOptions& options) {
    const std::shared_ptr<ReleaseCheck> check = CurrentRelease();
    return check ? check->Constrain(url, options) : S_OK;
}

std::optional<Sha256Digest> ReleaseDigest(const std::wstring& url) {
    const std::shared_ptr<ReleaseCheck> check = CurrentRelease();
    DownloadOptions options;
    if (!check || check->Constrain(url, options) != S_OK) return std::nullopt;
    return options.expectedDigest;
}

std::wstring InstallerSilentArguments(const std::wstring& url) {
    const std::shared_ptr<ReleaseCheck> check = CurrentRelease();
    const std::optional<std::string> given = check ? check->SilentArguments(url) : std::nullopt;
    return given ? win::FromUtf8(*given) : std::wstring(L"/S");
}

HRESULT ExplainReleaseFailure(const std::wstring& url, HRESULT result) {
    const std::shared_ptr<ReleaseCheck> check = CurrentRelease();
    return check ? check->Explain(url, result) : result;
}

}  // namespace pelmora
