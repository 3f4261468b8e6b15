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
// Writes `bytes` beside `path` and then moves them over it, so the file is
// either the old one or the new one whole. False when it could not be done.
bool ReplaceFileWith(const std::wstring& path, const std::string& bytes);
// Moves `from` over `to`; false (with `from` left in place) when it cannot.
bool MoveReplacing(const std::wstring& from, const std::wstring& to);

}  // namespace win
