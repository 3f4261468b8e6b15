#include "win/local_text_win.h"

#include "win/files_win.h"
#include "win/handles_win.h"
#include "win/text_win.h"

#include <algorithm>

namespace pelmora {

bool ReadFileHead(const std::wstring& path, size_t maxBytes, std::string& bytes) {
    // What this run fetched is read as fetched, not as the shared folder now holds it.
    if (win::WrittenBytes(path, bytes)) {
        if (bytes.size() > maxBytes) bytes.resize(maxBytes);
        return true;
    }
    bytes.clear();
    const win::File file(::CreateFileW(path.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    char buffer[65536];
    while (bytes.size() < maxBytes) {
        const DWORD want = static_cast<DWORD>(std::min(sizeof(buffer), maxBytes - bytes.size()));
        DWORD read = 0;
        if (!::ReadFile(file.get(), buffer, want, &read, nullptr)) return false;
        if (read == 0) break;
        bytes.append(buffer, read);
    }
    return true;
}

}  // namespace pelmora
