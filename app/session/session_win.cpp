#include "app/session/session_win.h"

#include "download/release/fetch_as_released_win.h"
#include "download/sync/startup_files.h"
#include "download/sync/startup_prefetch_win.h"
#include "download/transfer/download_to_file_win.h"
#include "download/url/base_url_win.h"
#include "trust/signed_files.h"
#include "win/diagnostics_win.h"
#include "win/files_win.h"
#include "win/folder_check_win.h"
#include "win/owned_files_win.h"
#include "win/text_win.h"
#include "win/thread_win.h"

#include <shlobj.h>

#include <vector>

namespace pelmora {
namespace {

std::shared_ptr<ReleaseCheck> MakeRelease(const std::optional<MakerPublicKey>& key,
                                          const std::wstring& baseUrl,
                                          const std::wstring& localRoot,
                                          const std::wstring& workFolder) {
    if (!key) return nullptr;
    // The serial where this run keeps its own files: users cannot lower it
    // under an elevated run.
    return std::make_shared<ReleaseCheck>(
        ReleasePolicy{*key, baseUrl, CatalogueSerialPath(workFolder), localRoot + kPelmoraFolder},
        Session::StartupTransfer());
}

// <ProgramData>\Korvath and <ProgramData>\Korvath\Pelmora, each the
// Administrators' only; users may make folders below ProgramData, so one made
// first by someone else is refused rather than used.
DWORD MakeElevatedFolders(const std::wstring& workFolder) {
    const std::wstring work = win::WithoutTrailingSlash(workFolder);
    for (const std::wstring& folder : {work.substr(0, work.rfind(L'\\')), work}) {
        if (const DWORD refused = win::MakeAdministratorsFolder(folder); refused != ERROR_SUCCESS)
            return refused;
    }
    return ERROR_SUCCESS;
}

std::wstring ElevatedWorkFolder() {
    wchar_t folder[MAX_PATH] = {};
    if (!win::RunsElevated() ||
        FAILED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT,
                                  folder)))
        return {};
    return std::wstring(folder) + L"\\Korvath\\Pelmora\\";
}

}  // namespace

Session::Session(std::wstring baseUrl, std::optional<MakerPublicKey> makerKey, MachinePolicy policy,
                 std::wstring localRoot, Publishers publishers, std::wstring elevatedFolder)
    : baseUrl_(std::move(baseUrl)),
      localRoot_(std::move(localRoot)),
      elevated_(!elevatedFolder.empty()),
      workFolder_(elevated_ ? std::move(elevatedFolder) : localRoot_ + kPelmoraFolder),
      workFolderError_(elevated_ ? MakeElevatedFolders(workFolder_) : ERROR_SUCCESS),
      policy_(policy),
      release_(MakeRelease(makerKey, baseUrl_, localRoot_, workFolder_)),
      signers_(makerKey ? Publishers() : std::move(publishers)) {}

Session::~Session() = default;

std::unique_ptr<Session> Session::FromMachine(const char* makerKeyHex,
                                              const char* publisherThumbprints, bool switchLine) {
    // The build refuses a malformed publisher; should one slip through, no
    // installer is the publisher's (an impossible thumbprint stands in).
    const Publishers publishers =
        ParsePublishers(publisherThumbprints).value_or(Publishers{Sha256Digest{}});
    return std::make_unique<Session>(ReadBaseUrl(), ParseMakerPublicKey(makerKeyHex),
                                     ReadMachinePolicy(), win::LocalRoot(), publishers,
                                     switchLine ? ElevatedWorkFolder() : std::wstring());
}

Transfer Session::StartupTransfer() {
    return [](const std::wstring& url, const std::wstring& localPath, DWORD timeoutMs,
              DownloadOptions options) {
        if (!options.maxBytes) options.maxBytes = StartupFileMaxBytes(win::ToU16(url));
        if (!options.rateFloor.minBytesPerSecond)
            options.rateFloor = RateFloor{kStartupMinBytesPerSecond, kStartupSlowGraceMs};
        return DownloadToFile(url, localPath, 0, nullptr, timeoutMs, false, options);
    };
}

Downloader Session::DirectDownloader() const {
    // With the maker's key, every file must be one the signed release lists.
    if (release_) return CheckedDownloader(release_);
    return [transfer = StartupTransfer()](const std::wstring& url, const std::wstring& localPath,
                                          DWORD timeoutMs) {
        return transfer(url, localPath, timeoutMs, DownloadOptions());
    };
}

// Early fetches: with the maker's key, beside the manifest rather than after it.
Downloader Session::AheadDownloader() const {
    if (!release_) return DirectDownloader();
    return [check = release_](const std::wstring& url, const std::wstring& localPath,
                              DWORD timeoutMs) {
        return check->FetchAhead(url, localPath, timeoutMs, DownloadOptions());
    };
}

void Session::MakeOwnFolders() const {
    for (const wchar_t* folder : {L"Korvath", L"Korvath\\tools", L"Korvath\\tools\\Pelmora"})
        win::EnsureFolder(localRoot_ + folder);
}

Session::StartupFetches::StartupFetches(Session& session) : session_(session) {
    // A refused folder of an elevated run takes nothing; the start-up ends.
    if (session.workFolderError_ != ERROR_SUCCESS) return;
    // Staged in Pelmora's folder, which a first run has not made yet.
    session.MakeOwnFolders();
    // None of these depends on another to be fetched; their order of effects
    // is kept by handing them over only when the start-up reaches them.
    std::vector<std::wstring> urls;
    for (const wchar_t* name :
         {L"Pelmora.txt", L"program_list.txt", L"db_version.txt", L"image_version.txt"})
        urls.push_back(session.baseUrl_ + name);
    // The manifest and its signature start now, beside the files it vouches for.
    if (session.release_)
        win::StartDetachedThread(
            [check = session.release_]() noexcept {
                try {
                    check->Accept(kSmallFileTimeoutMs);
                } catch (...) {  // the first file asks again
                }
            },
            256 * 1024);
    auto prefetch = std::make_unique<StartupPrefetch>(
        session.DirectDownloader(), session.AheadDownloader(), urls,
        session.localRoot_ + kPelmoraFolder, kSmallFileTimeoutMs);
    const std::lock_guard<std::mutex> guard(session.prefetchLock_);
    session.prefetch_ = std::move(prefetch);
}

Session::StartupFetches::~StartupFetches() {
    const std::lock_guard<std::mutex> guard(session_.prefetchLock_);
    session_.prefetch_.reset();  // what was not handed over is discarded
}

Downloader Session::StartupDownloader() const {
    {
        const std::lock_guard<std::mutex> guard(prefetchLock_);
        if (prefetch_) return prefetch_->Serving();
    }
    return DirectDownloader();
}

ServerFiles Session::Server() const {
    return ServerFiles{baseUrl_, localRoot_, StartupDownloader(), EntryLookup(release_)};
}

ServerFiles Session::PictureServer() {
    const std::wstring stamps = baseUrl_ + L"image_version.txt";
    {
        const std::lock_guard<std::mutex> guard(prefetchLock_);
        if (prefetch_)
            return ServerFiles{baseUrl_, localRoot_, prefetch_->Keep(stamps),
                               EntryLookup(release_)};
    }
    return ServerFiles{baseUrl_, localRoot_, DirectDownloader(), EntryLookup(release_)};
}

void Session::ProxyCredentialsGiven() {
    if (release_) release_->CredentialsGiven();
}

}  // namespace pelmora
