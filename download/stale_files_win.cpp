#include "download/stale_files_win.h"

#include "download/server_files_win.h"
#include "download/stale_files.h"
#include "win/diagnostics_win.h"
#include "win/text_win.h"

#include <windows.h>

namespace pelmora {
namespace {

// Pelmora's tree is Korvath\tools\Pelmora\downloaded_program\<program>\.
constexpr int kMaxDepth = 4;

bool ProcessRuns(uint32_t pid) {
    if (pid == ::GetCurrentProcessId()) return true;
    const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return ::GetLastError() == ERROR_ACCESS_DENIED;  // someone else's: leave it
    const bool runs = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return runs;
}

bool IsStale(const std::wstring& name, bool inProgramFolder) {
    const std::u16string u16 = win::ToU16(name);
    if (const std::optional<uint32_t> owner = TemporaryFileOwner(u16)) return !ProcessRuns(*owner);
    return inProgramFolder && IsRetryInstallerName(u16);
}

void Sweep(const std::wstring& folder, int depth) {
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    const bool programFolder = depth == kMaxDepth;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;  // not ours to walk
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (depth < kMaxDepth) Sweep(folder + name + L"\\", depth + 1);
        } else if (IsStale(name, programFolder)) {
            if (::DeleteFileW((folder + name).c_str()))
                win::Diag(L"[Pelmora]Removed stale download " + folder + name + L"\n");
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

}  // namespace

void RemoveStaleDownloads(const std::wstring& localRoot) {
    Sweep(localRoot + kToolsFolder, 1);
}

}  // namespace pelmora
