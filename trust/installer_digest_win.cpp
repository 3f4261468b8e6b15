#include "trust/installer_digest_win.h"

#include "trust/sha256_win.h"

#include <memory>

namespace pelmora {
namespace {

constexpr DWORD kChunkBytes = 256 * 1024;

}  // namespace

std::optional<Sha256Digest> HandleSha256(HANDLE file) {
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return std::nullopt;
    const std::unique_ptr<char[]> buffer(new char[kChunkBytes]);
    Sha256Stream hash;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, buffer.get(), kChunkBytes, &got, nullptr)) return std::nullopt;
        if (got == 0) break;
        if (!hash.Update(buffer.get(), got)) return std::nullopt;
    }
    return hash.Finish();
}

namespace {

win::File OpenForReading(const std::wstring& path, DWORD share) {
    return win::File(::CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

}  // namespace

std::optional<Sha256Digest> FileSha256(const std::wstring& path) {
    const win::File file = OpenForReading(path, FILE_SHARE_READ | FILE_SHARE_DELETE);
    if (!file) return std::nullopt;
    return HandleSha256(file.get());
}

win::File OpenVerified(const std::wstring& path, const Sha256Digest& expected) {
    // Read sharing only: the installer can still be started from it.
    win::File file = OpenForReading(path, FILE_SHARE_READ);
    if (!file) return {};
    const std::optional<Sha256Digest> actual = HandleSha256(file.get());
    if (!actual || *actual != expected) return {};
    return file;
}

}  // namespace pelmora
