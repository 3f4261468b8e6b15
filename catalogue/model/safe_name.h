// Whether a name from the server can be used as one path component below
// Pelmora's folders. The catalogue's English name becomes a folder name, a
// file-name prefix and part of paths that are opened; a name that could
// leave the folder, name a device or an alternate stream, or be changed by
// the file system's own trimming must not be used for any of that.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace pelmora {

constexpr size_t kMaxSafeNameLength = 200;

// Paths must stay below MAX_PATH (259 characters and the terminating NUL).
// The deepest path a name goes into, below the local root, is
// "Korvath\tools\Pelmora\downloaded_program\" (41), the name, "\" and a
// transfer's temporary of the longest installer name,
// "_999setup_light.exe.part-<10 digits>-<10 digits>" (46).
constexpr size_t kMaxPathLength = 259;
constexpr size_t kPathBeyondName = 41 + 1 + 46;

// The longest name whose deepest path fits below a local root of
// `localRootLength` characters, and never above kMaxSafeNameLength. The
// catalogue's table keeps it for the machine's root it was read below.
size_t NameLengthLimit(size_t localRootLength);

// Empty when the name is safe as a single file or folder name of at most
// `maxLength` characters; otherwise a short English reason for a diagnostic
// line.
std::string_view FileNameProblem(std::u16string_view name,
                                 size_t maxLength = kMaxSafeNameLength);

inline bool IsSafeFileName(std::u16string_view name, size_t maxLength = kMaxSafeNameLength) {
    return FileNameProblem(name, maxLength).empty();
}

// The name for a diagnostic line: control characters as \xNN, the rest as it is.
std::u16string PrintableName(std::u16string_view name);

}  // namespace pelmora
