#include "download/release/fetch_as_released_win.h"

#include "win/text_win.h"

namespace pelmora {

HRESULT FetchAsReleased(const ReleaseCheck* release, const std::wstring& url,
                        const std::wstring& localPath, DWORD timeoutMs, DownloadOptions options,
                        FetchProgress progress, bool continueDownload) {
    if (release) {
        if (const HRESULT refused = release->Constrain(url, options); refused != S_OK)
            return refused;  // logged
    }
    const HRESULT result = DownloadToFile(url, localPath, progress.row, progress.target, timeoutMs,
                                          continueDownload, options);
    if (!release) return result;
    return release->Recover(url, result, [&](const std::wstring& immutable) {
        return DownloadToFile(immutable, localPath, progress.row, progress.target, timeoutMs,
                              false, options);
    });
}

std::optional<Sha256Digest> InstallerDigest(const ReleaseCheck* release, const std::wstring& url,
                                            const std::optional<Sha256Digest>& keyless) {
    if (!release) return keyless;
    DownloadOptions options;
    if (release->Constrain(url, options) != S_OK) return std::nullopt;
    return options.expectedDigest;
}

std::wstring InstallerSilentArguments(const ReleaseCheck* release, const std::wstring& url) {
    const std::optional<std::string> given = release ? release->SilentArguments(url) : std::nullopt;
    return given ? win::FromUtf8(*given) : std::wstring(L"/S");
}

ReleaseEntryLookup EntryLookup(const std::shared_ptr<ReleaseCheck>& release) {
    if (!release) return {};
    return [release](const std::wstring& url, DownloadOptions& options) {
        return release->Constrain(url, options);
    };
}

}  // namespace pelmora
