// Writing a file at a path a script names, whatever its spelling: the link
// check reads where the system actually leads (the final path of an open
// handle), not the text of the path, which 8.3 names, forward slashes,
// "\\?\", another letter case or a relative path can all disguise.
#pragma once
#include <windows.h>

#include <string>

namespace win {

// The final path of an open file or folder (links followed, 8.3 names
// expanded) in plain form: "C:\..." or "\\server\share\..."; empty when the
// system cannot say.
std::wstring FinalPath(HANDLE handle);

// Replaces the file at `path` whole, as ReplaceFileWith does, only when no
// link lies on the way: the folder, held open (so it cannot be swapped)
// while the file is written and moved into place, must have the final path
// its long full path names (a junction, symbolic link or mount point on the
// way refuses), and a link or a file with more than one name at `path`
// itself refuses too. False with the last error set (kLinkRefusedError for
// a link, logged).
bool ReplaceFileByHandle(const std::wstring& path, const std::string& bytes);

}  // namespace win
