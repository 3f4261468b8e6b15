#include "win/folder_check_win.h"

#include "win/files_win.h"
#include "win/handles_win.h"

namespace win {

DWORD FolderWriteError(const std::wstring& folder) {
    const std::wstring base = WithoutTrailingSlash(folder);
    const DWORD attributes = ::GetFileAttributesW(base.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return ::GetLastError();
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_DIRECTORY;
    if (RefuseLink(base)) return kLinkRefusedError;  // logged
    // A probe that goes away with its handle, at a fresh name: never a file
    // someone planted there.
    std::wstring probe;
    const File file = CreateTemporaryBeside(
        base + L"\\write-check", probe, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE);
    return file ? ERROR_SUCCESS : ::GetLastError();
}

std::wstring WithoutTrailingSlash(std::wstring path) {
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    return path;
}

}  // namespace win
