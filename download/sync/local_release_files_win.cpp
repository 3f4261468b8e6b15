#include "download/sync/local_release_files_win.h"

#include "trust/installer_digest_win.h"
#include "win/diagnostics_win.h"
#include "win/handles_win.h"
#include "win/text_win.h"

namespace pelmora {
namespace {

// Why the local file is not the release's, or empty when it is.
std::wstring Difference(const LocalReleaseFile& file, const DownloadOptions& entry) {
    // Shared for writing too: a sibling tool may hold a database open.
    const win::File local(::CreateFileW(file.localPath.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!local) return L"it cannot be read (" + win::ErrorCodeText(::GetLastError()) + L")";
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(local.get(), &size)) return L"its size cannot be read";
    if (static_cast<uint64_t>(size.QuadPart) != entry.maxBytes)
        return L"it has " + std::to_wstring(size.QuadPart) + L" bytes, the release lists " +
               std::to_wstring(entry.maxBytes);
    if (!entry.expectedDigest || HandleSha256(local.get()) == entry.expectedDigest) return {};
    return L"its SHA-256 is not the release's";
}

}  // namespace

std::vector<size_t> FilesNotAsReleased(const std::vector<LocalReleaseFile>& files,
                                       const ReleaseEntryLookup& lookup) {
    std::vector<size_t> differing;
    for (size_t i = 0; i < files.size(); ++i) {
        DownloadOptions entry;
        if (lookup(files[i].url, entry) != S_OK) continue;
        const std::wstring why = Difference(files[i], entry);
        if (why.empty()) continue;
        win::Diag(L"[Pelmora]Local file is not as the release lists it (" + why +
                  L"), fetched again: " + files[i].localPath + L"\n");
        differing.push_back(i);
    }
    return differing;
}

bool LocalFilesAsReleased(const std::vector<LocalReleaseFile>& files,
                          const ReleaseEntryLookup& release) {
    return !release || FilesNotAsReleased(files, release).empty();
}

}  // namespace pelmora
