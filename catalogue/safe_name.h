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

// Empty when the name is safe as a single file or folder name; otherwise a
// short English reason for a diagnostic line.
std::string_view FileNameProblem(std::u16string_view name);

inline bool IsSafeFileName(std::u16string_view name) {
    return FileNameProblem(name).empty();
}

// The name for a diagnostic line: control characters as \xNN, the rest as it is.
std::u16string PrintableName(std::u16string_view name);

}  // namespace pelmora
