#include "win/final_path_win.h"

#include "win/diagnostics_win.h"
#include "win/files_win.h"
#include "win/handles_win.h"

#include <vector>

namespace win {
namespace {

std::wstring Plain(const std::wstring& path) {
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + path.substr(8);
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
    return path;
}

// One of the path functions that ask for their buffer's size first.
template <typename Call>
std::wstring Sized(Call call) {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (int tries = 0; tries < 3; ++tries) {
        const DWORD n = call(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return std::wstring(buffer.data(), n);
        buffer.resize(n + 1);
    }
    return {};
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Where `path` (full, long) leads when no link lies on the way: its first
// component as the system resolves it (a mapped or substituted drive), then
// the rest as written.
std::wstring ExpectedFinal(const std::wstring& path) {
    size_t rootEnd = path.find(L'\\', 2);  // "X:\"
    if (path.compare(0, 2, L"\\\\") == 0 && rootEnd != std::wstring::npos)
        rootEnd = path.find(L'\\', rootEnd + 1);  // "\\server\share\"
    if (rootEnd == std::wstring::npos) return {};
    const File root(::CreateFileW(path.substr(0, rootEnd + 1).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    std::wstring final = root ? FinalPath(root.get()) : std::wstring();
    if (final.empty()) return {};
    if (final.back() != L'\\') final += L'\\';
    return final + path.substr(rootEnd + 1);
}

bool Refused(const std::wstring& what, const std::wstring& path) {
    Diag(L"[Pelmora]Not written through a link (" + what + L"): " + path + L"\n");
    ::SetLastError(kLinkRefusedError);
    return false;
}

}  // namespace

std::wstring FinalPath(HANDLE handle) {
    return Plain(Sized([handle](wchar_t* buffer, DWORD size) {
        return ::GetFinalPathNameByHandleW(handle, buffer, size,
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }));
}

bool ReplaceFileByHandle(const std::wstring& path, const std::string& bytes) {
    const std::wstring full = Plain(Sized([&path](wchar_t* buffer, DWORD size) {
        return ::GetFullPathNameW(path.c_str(), size, buffer, nullptr);
    }));
    const size_t slash = full.rfind(L'\\');
    if (full.empty() || slash == std::wstring::npos || slash + 1 == full.size()) {
        ::SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    const std::wstring folder = Sized([&full, slash](wchar_t* buffer, DWORD size) {
        return ::GetLongPathNameW(full.substr(0, slash).c_str(), buffer, size);
    });
    if (folder.empty()) return false;  // no such folder: its error
    // Held without FILE_SHARE_DELETE: neither it nor a folder above it can be
    // renamed away and replaced by a link until the file is in place.
    const File held(::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!held) return false;
    const std::wstring final = FinalPath(held.get());
    if (final.empty() || !SameText(final, ExpectedFinal(folder)))
        return Refused(L"the folder leads to " + final, path);
    // The file itself, opened without following a link planted there (and
    // closed again: a file open elsewhere cannot be replaced).
    std::wstring target = folder + L"\\" + full.substr(slash + 1);
    {
        const File existing(::CreateFileW(
            target.c_str(), FILE_READ_ATTRIBUTES,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (existing) {
            BY_HANDLE_FILE_INFORMATION info{};
            if (!::GetFileInformationByHandle(existing.get(), &info)) return false;
            if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                return Refused(L"a junction or symbolic link", path);
            if (info.nNumberOfLinks > 1) return Refused(L"a hard link", path);
            // Its long name, were it given by its short one; a system that
            // followed the link anyway shows another final path.
            const std::wstring named = Sized([&target](wchar_t* buffer, DWORD size) {
                return ::GetLongPathNameW(target.c_str(), buffer, size);
            });
            const std::wstring final = FinalPath(existing.get());
            if (named.empty() || !SameText(final, ExpectedFinal(named)))
                return Refused(L"the file leads to " + final, path);
            target = named;
        }
    }
    return ReplaceFileWith(target, bytes);  // while the folder is held
}

}  // namespace win
