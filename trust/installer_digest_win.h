// Checking an installer on disk against the digest its catalogue publishes.
#pragma once
#include "trust/sha256.h"
#include "win/handles_win.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace pelmora {

class Sha256Stream;

// Asked after each piece of a long hash: false stops it (the caller gave up
// or the user cancelled). An empty one never stops.
using HashGoOn = std::function<bool()>;

// Feeds `hash` the first `length` bytes of the file (from its first byte).
// False when reading failed, the file was shorter, or `goOn` said stop.
bool HashFileStart(HANDLE file, uint64_t length, Sha256Stream& hash, const HashGoOn& goOn);

// The digest of the file's whole content; nullopt when it cannot be read or
// `goOn` stopped it.
std::optional<Sha256Digest> FileSha256(const std::wstring& path, const HashGoOn& goOn = {});
// The same through an open handle (read access), from its first byte.
std::optional<Sha256Digest> HandleSha256(HANDLE file, const HashGoOn& goOn = {});

// Opens the file so that nobody can write, rename or delete it while the
// handle is held, and checks its content against `expected` through that
// same handle. An empty handle when the file cannot be opened, does not
// match, or `goOn` stopped the check. Holding the handle across the start of
// the installer means the file that is started is the file that was checked.
win::File OpenVerified(const std::wstring& path, const Sha256Digest& expected,
                       const HashGoOn& goOn = {});

}  // namespace pelmora
