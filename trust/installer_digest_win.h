// Checking an installer on disk against the digest its catalogue publishes.
#pragma once
#include "trust/sha256.h"
#include "win/handles_win.h"

#include <optional>
#include <string>

namespace pelmora {

// The digest of the file's whole content; nullopt when it cannot be read.
std::optional<Sha256Digest> FileSha256(const std::wstring& path);
// The same through an open handle (read access), from its first byte.
std::optional<Sha256Digest> HandleSha256(HANDLE file);

// Opens the file so that nobody can write, rename or delete it while the
// handle is held, and checks its content against `expected` through that
// same handle. An empty handle when the file cannot be opened or does not
// match. Holding the handle across the start of the installer means the file
// that is started is the file that was checked.
win::File OpenVerified(const std::wstring& path, const Sha256Digest& expected);

}  // namespace pelmora
