#include "win/folder_check_win.h"

#include "win/handles_win.h"

namespace win {

DWORD FolderWriteError(const std::wstring& folder) {
    const std::wstring base = WithoutTrailingSlash(folder);
    const DWORD attributes = ::GetFileAttributesW(base.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return ::GetLastError();
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_DIRECTORY;
    // A probe that goes away with its handle; its name is this process's own.
    const std::wstring probe =
        base + L"\\write-check-" + std::to_wstring(::GetCurrentProcessId()) + L".tmp";
    const File file(::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return file ? ERROR_SUCCESS : ::GetLastError();
}

std::wstring WithoutTrailingSlash(std::wstring path) {
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    return path;
}

}  // namespace win
