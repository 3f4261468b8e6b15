#include "win/files_win.h"

#include "win/handles_win.h"

#include <windows.h>
#include <shlobj.h>

namespace win {

std::wstring LocalRoot() {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_DOCUMENTS, nullptr, SHGFP_TYPE_CURRENT,
                                  folder)))
        return {};
    return std::wstring(folder) + L"\\";
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool EnsureFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return ::CreateDirectoryW(path.c_str(), nullptr) != 0 ||
           ::GetLastError() == ERROR_ALREADY_EXISTS;
}

bool MoveReplacing(const std::wstring& from, const std::wstring& to) {
    return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool ReplaceFileWith(const std::wstring& path, const std::string& bytes) {
    const std::wstring temporary = path + L".new";
    DWORD error = ERROR_SUCCESS;
    {
        const File file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        DWORD written = 0;
        if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                         nullptr))
            error = ::GetLastError();
        else if (written != bytes.size())
            error = ERROR_HANDLE_DISK_FULL;
    }  // closed here: an open file cannot be deleted
    if (error == ERROR_SUCCESS) {
        if (MoveReplacing(temporary, path)) return true;
        error = ::GetLastError();
    }
    ::DeleteFileW(temporary.c_str());
    ::SetLastError(error);  // the caller logs why it failed, not why the clean-up did
    return false;
}

}  // namespace win
