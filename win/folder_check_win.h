// Whether a folder can take new files: a local fault (the folder is a file,
// read-only, on a full disk) needs its own message, not a network one.
#pragma once
#include <windows.h>

#include <string>

namespace win {

// ERROR_SUCCESS when a file can be made in `folder`; otherwise why not
// (ERROR_DIRECTORY when a file stands where the folder should be).
DWORD FolderWriteError(const std::wstring& folder);

// `path` without a trailing backslash, as a user would type it.
std::wstring WithoutTrailingSlash(std::wstring path);

}  // namespace win
