// The local root (the common documents folder) and small file-system helpers.
#pragma once
#include <string>

namespace win {

// The common documents folder followed by one backslash; every local path of
// Pelmora is relative to it.
std::wstring LocalRoot();

bool FileExists(const std::wstring& path);
// Creates the folder when its attributes cannot be read; true when it exists afterwards.
bool EnsureFolder(const std::wstring& path);

}  // namespace win
