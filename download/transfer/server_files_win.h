// What the start-up's fetches share: where the server is, where local files
// go, and the transfer that copies one to the other.
#pragma once
#include "download/transfer/download_result_win.h"
#include "download/transfer/download_to_file_win.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace pelmora {

// Fetches the file at a full URL into a local file whose folder exists,
// freshly (no cached copy) and without a progress row. 0 when the file
// arrived whole; 1 after `timeoutMs` without progress; any other value is
// the transfer's failure. A failed fetch leaves an existing file as it was.
using Downloader =
    std::function<HRESULT(const std::wstring& url, const std::wstring& localPath, DWORD timeoutMs)>;

// Binds `options` to the signed release's entry for a URL (its size as the
// cap, its digest); anything but S_OK: not listed, nothing to compare with.
using ReleaseEntryLookup = std::function<HRESULT(const std::wstring& url, DownloadOptions& options)>;

constexpr DWORD kSmallFileTimeoutMs = 10000;
// An installer's download without progress, and the same for Pelmora's own.
constexpr DWORD kInstallerTimeoutMs = 30000;
// Every start-up fetch must also average this rate once the grace has
// passed: a server that trickles cannot hold the start-up, whose files are
// small. A body at exactly this rate is bounded by its size cap (1 MiB text
// files: 512 s).
constexpr uint32_t kStartupMinBytesPerSecond = 2048;
constexpr uint32_t kStartupSlowGraceMs = 10000;
// A script's installer download (nobody there to press Cancel) must average
// this rate once its grace has passed, and be complete by the deadline: a
// trickle ends the run's wait after the grace, a large body at the floor's
// rate after two hours (a 1 GiB installer needs about 150 KB/s).
constexpr uint32_t kInstallerMinBytesPerSecond = 4096;
constexpr uint32_t kInstallerSlowGraceMs = 30000;
constexpr uint64_t kUnattendedInstallerDeadlineMs = 2 * 60 * 60 * 1000;
// Without the maker's key (which caps at the manifest's size) no installer
// is taken larger than this: an endless body must not fill the disk.
constexpr uint64_t kInstallerMaxBytes = uint64_t{4} << 30;
struct ServerFiles {
    std::wstring baseUrl;    // ends in "/tools/"
    std::wstring localRoot;  // the common documents folder and one backslash
    Downloader download;
    ReleaseEntryLookup release;  // the accepted release's entries; empty without the maker's key
};

// Below the local root.
inline constexpr wchar_t kToolsFolder[] = L"Korvath\\tools\\";
inline constexpr wchar_t kPelmoraFolder[] = L"Korvath\\tools\\Pelmora\\";

// Installers are fetched below a run's work folder (ending in a backslash):
// Pelmora's shared folder, or an elevated run's own.
inline constexpr wchar_t kDownloadsName[] = L"downloaded_program";
inline std::wstring DownloadFolderIn(const std::wstring& workFolder, const std::wstring& name) {
    return workFolder + kDownloadsName + L"\\" + name;
}

}  // namespace pelmora
