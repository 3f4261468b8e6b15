#include "trust/installer_digest_win.h"

#include "trust/sha256_win.h"

#include <algorithm>
#include <memory>

namespace pelmora {
namespace {

// Large pieces: under Wine every read has a high fixed cost. Each piece is
// also how often a long hash asks whether to go on (a few ms apart).
constexpr DWORD kChunkBytes = 1024 * 1024;

win::File OpenForReading(const std::wstring& path, DWORD share) {
    return win::File(::CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// Reads from the first byte, `length` bytes or (nullopt) to the end.
bool HashFrom(HANDLE file, std::optional<uint64_t> length, Sha256Stream& hash,
              const HashGoOn& goOn) {
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return false;
    const std::unique_ptr<char[]> buffer(new char[kChunkBytes]);
    uint64_t left = length.value_or(UINT64_MAX);
    while (left > 0) {
        if (goOn && !goOn()) return false;
        DWORD got = 0;
        const auto ask = static_cast<DWORD>(std::min<uint64_t>(left, kChunkBytes));
        if (!::ReadFile(file, buffer.get(), ask, &got, nullptr)) return false;
        if (got == 0) return !length;  // the end: early only when a length was asked for
        if (!hash.Update(buffer.get(), got)) return false;
        left -= got;
    }
    return true;
}

}  // namespace

bool HashFileStart(HANDLE file, uint64_t length, Sha256Stream& hash, const HashGoOn& goOn) {
    return HashFrom(file, length, hash, goOn);
}

std::optional<Sha256Digest> HandleSha256(HANDLE file, const HashGoOn& goOn) {
    Sha256Stream hash;
    if (!HashFrom(file, std::nullopt, hash, goOn)) return std::nullopt;
    return hash.Finish();
}

std::optional<Sha256Digest> FileSha256(const std::wstring& path, const HashGoOn& goOn) {
    const win::File file = OpenForReading(path, FILE_SHARE_READ | FILE_SHARE_DELETE);
    if (!file) return std::nullopt;
    return HandleSha256(file.get(), goOn);
}

win::File OpenVerified(const std::wstring& path, const Sha256Digest& expected,
                       const HashGoOn& goOn) {
    // Read sharing only: the installer can still be started from it.
    win::File file = OpenForReading(path, FILE_SHARE_READ);
    if (!file) return {};
    const std::optional<Sha256Digest> actual = HandleSha256(file.get(), goOn);
    if (!actual || *actual != expected) return {};
    return file;
}

}  // namespace pelmora
