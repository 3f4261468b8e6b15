#include "download/sync/stale_files_win.h"

#include "download/transfer/server_files_win.h"
#include "download/sync/stale_files.h"
#include "win/diagnostics_win.h"
#include "win/folder_check_win.h"
#include "win/owned_files_win.h"
#include "win/text_win.h"

#include <windows.h>

namespace pelmora {
namespace {

// Pelmora's own tree: Korvath\tools\Pelmora\downloaded_program\<program>\.
constexpr int kMaxDepth = 3;

bool ProcessRuns(uint32_t pid) {
    if (pid == ::GetCurrentProcessId()) return true;
    const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return ::GetLastError() == ERROR_ACCESS_DENIED;  // someone else's: leave it
    const bool runs = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return runs;
}

bool IsPlainFile(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    return ::GetFileInformationByHandle(file, &info) &&
           !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
           info.nNumberOfLinks == 1;
}

enum class Place { ToolsFolder, PelmoraTree, ProgramFolder };

bool IsStale(const std::wstring& name, Place place) {
    const std::u16string u16 = win::ToU16(name);
    if (place == Place::ToolsFolder && !IsPelmoraToolsTemporary(u16)) return false;
    if (const std::optional<uint32_t> owner = TemporaryFileOwner(u16)) return !ProcessRuns(*owner);
    return place == Place::ProgramFolder && IsRetryInstallerName(u16);
}

// `depth` counts from Pelmora's folder (1); the tools folder itself is 0 and
// is not walked into.
void Sweep(const std::wstring& folder, int depth, bool downloads, const std::wstring& anchor) {
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    const Place place = depth == 0                        ? Place::ToolsFolder
                        : downloads && depth == kMaxDepth ? Place::ProgramFolder
                                                          : Place::PelmoraTree;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;  // not ours to walk
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (depth >= 1 && depth < kMaxDepth) {
                const bool intoDownloads =
                    depth == 1 && ::lstrcmpiW(name.c_str(), L"downloaded_program") == 0;
                Sweep(folder + name + L"\\", depth + 1, downloads || intoDownloads, anchor);
            }
        } else if (IsStale(name, place)) {
            // The listing only names it: opened by handle, never through a
            // link, and deleted only when it is a file where it was listed.
            const win::File file = win::OpenForDeletion(folder + name, anchor);
            if (file && IsPlainFile(file.get()) && win::DeleteByHandle(file.get()))
                win::Diag(L"[Pelmora]Removed stale download " + folder + name + L"\n");
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

}  // namespace

void RemoveStaleDownloads(const std::wstring& localRoot, const std::wstring& workFolder) {
    // Sibling tools' folders under Korvath\tools\ are theirs: only Pelmora's
    // own folder is walked, and of the shared folder only Pelmora's files.
    const std::wstring anchor = win::WithoutTrailingSlash(localRoot);
    Sweep(localRoot + kToolsFolder, 0, false, anchor);
    Sweep(localRoot + kPelmoraFolder, 1, false, anchor);
    if (::lstrcmpiW(workFolder.c_str(), (localRoot + kPelmoraFolder).c_str()) != 0)
        Sweep(workFolder, 1, false, win::WithoutTrailingSlash(workFolder));
}

}  // namespace pelmora
