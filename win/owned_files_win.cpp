#include "win/owned_files_win.h"

#include "win/diagnostics_win.h"
#include "win/final_path_win.h"
#include "win/text_win.h"

#include <aclapi.h>
#include <sddl.h>

#include <memory>

namespace win {
namespace {

// SYSTEM and the Administrators, nothing inherited from above; folders and
// files made below take the same.
constexpr wchar_t kAdministratorsOnlySddl[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
// Deep enough for what Pelmora makes: <private>\<tool>\<installer>.
constexpr int kMaxTreeDepth = 4;

std::wstring Upper(std::wstring text) {
    if (!text.empty()) ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

std::wstring Trimmed(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

DWORD Attributes(HANDLE file) {
    FILE_BASIC_INFO info{};
    return ::GetFileInformationByHandleEx(file, FileBasicInfo, &info, sizeof info)
               ? info.FileAttributes
               : INVALID_FILE_ATTRIBUTES;
}

struct TokenUserBuffer {
    std::unique_ptr<BYTE[]> bytes;
    PSID Sid() const {
        return bytes ? reinterpret_cast<TOKEN_USER*>(bytes.get())->User.Sid : nullptr;
    }
};

TokenUserBuffer OwnUser() {
    TokenUserBuffer user;
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return user;
    const Handle token(raw);
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (!size) return user;
    user.bytes.reset(new BYTE[size]);
    if (!::GetTokenInformation(token.get(), TokenUser, user.bytes.get(), size, &size))
        user.bytes.reset();
    return user;
}

bool OwnerIsTrusted(HANDLE file) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                          nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    const bool trusted = TrustedOwner(owner, OwnUser().Sid());
    ::LocalFree(descriptor);
    return trusted;
}

}  // namespace

bool RunsElevated() {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    const Handle token(raw);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return ::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation,
                                 &size) &&
           elevation.TokenIsElevated != 0;
}

bool TrustedOwner(PSID owner, PSID self) {
    if (!owner || !::IsValidSid(owner)) return false;
    return ::IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
           ::IsWellKnownSid(owner, WinLocalSystemSid) ||
           (self && ::IsValidSid(self) && ::EqualSid(owner, self));
}

DWORD MakeAdministratorsFolder(const std::wstring& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            kAdministratorsOnlySddl, SDDL_REVISION_1, &descriptor, nullptr))
        return ::GetLastError();
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    DWORD error = ::CreateDirectoryW(path.c_str(), &attributes) ? ERROR_SUCCESS : ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS) {
        // Someone made it first: a user may make folders below ProgramData.
        const File folder(::CreateFileW(path.c_str(), READ_CONTROL | WRITE_DAC,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                        nullptr));
        const DWORD found = folder ? Attributes(folder.get()) : INVALID_FILE_ATTRIBUTES;
        if (!folder) {
            error = ::GetLastError();
        } else if (found == INVALID_FILE_ATTRIBUTES || !(found & FILE_ATTRIBUTE_DIRECTORY) ||
                   !OpenedWhereExpected(folder.get(), path, path.substr(0, path.rfind(L'\\'))) ||
                   !OwnerIsTrusted(folder.get())) {
            Diag(L"[Pelmora]Refused: " + path +
                 L" is a link, not a folder, or owned by someone other than the "
                 L"Administrators or SYSTEM\n");
            error = ERROR_ACCESS_DENIED;
        } else {
            // Ours or an administrator's: whatever access it had, now only theirs.
            PACL dacl = nullptr;
            BOOL present = FALSE, defaulted = FALSE;
            ::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
            error = ::SetSecurityInfo(folder.get(), SE_FILE_OBJECT,
                                      DACL_SECURITY_INFORMATION |
                                          PROTECTED_DACL_SECURITY_INFORMATION,
                                      nullptr, nullptr, dacl, nullptr);
            if (error != ERROR_SUCCESS)
                Diag(L"[Pelmora]Refused: the access of " + path + L" cannot be set (" +
                     ErrorCodeText(error) + L")\n");
        }
    }
    ::LocalFree(descriptor);
    return error;
}

bool OpenedWhereExpected(HANDLE file, const std::wstring& path, const std::wstring& anchor) {
    const DWORD attributes = Attributes(file);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    if (Upper(path).rfind(Upper(anchor), 0) != 0) return false;
    const File root(::CreateFileW(anchor.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const std::wstring rootFinal = root ? FinalPath(root.get()) : std::wstring();
    const std::wstring final = FinalPath(file);
    if (rootFinal.empty() || final.empty()) return false;
    std::wstring rest = path.substr(anchor.size());
    if (!rest.empty() && rest.front() != L'\\') rest.insert(0, L"\\");
    return Upper(Trimmed(final)) == Upper(Trimmed(Trimmed(rootFinal) + rest));
}

File OpenForDeletion(const std::wstring& path, const std::wstring& anchor) {
    // No delete sharing: nobody can rename it away while it is held.
    File file(::CreateFileW(path.c_str(),
                            DELETE | FILE_READ_ATTRIBUTES | READ_CONTROL | FILE_LIST_DIRECTORY,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return file;
    // A link is removed itself (its own final path is that of its target).
    const DWORD attributes = Attributes(file.get());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        const size_t slash = path.rfind(L'\\');
        const std::wstring parent = path.substr(0, slash);
        const File folder(::CreateFileW(parent.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                        nullptr));
        if (slash != std::wstring::npos && folder &&
            OpenedWhereExpected(folder.get(), parent, anchor))
            return file;
    } else if (OpenedWhereExpected(file.get(), path, anchor)) {
        return file;
    }
    Diag(L"[Pelmora]Not deleted: " + path + L" is not where it was listed (a link on the way)\n");
    return File();
}

bool DeleteByHandle(HANDLE file) {
    FILE_DISPOSITION_INFO disposition{TRUE};
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                        sizeof disposition) != FALSE;
}

namespace {

// `last`, when given, is an entry of `path` deleted only once all others went.
bool RemoveOpened(const std::wstring& path, const std::wstring& anchor, HANDLE held, int depth,
                  const std::wstring& last = {}) {
    const DWORD attributes = Attributes(held);
    bool whole = true;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        if (depth >= kMaxTreeDepth) return false;
        // Listed through the held handle; the listing only names entries:
        // each is opened and checked on its own.
        alignas(8) BYTE buffer[16 * 1024];
        FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
        while (::GetFileInformationByHandleEx(held, kind, buffer, sizeof buffer)) {
            kind = FileIdBothDirectoryInfo;
            for (auto* entry = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(buffer);;
                 entry = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(
                     reinterpret_cast<BYTE*>(entry) + entry->NextEntryOffset)) {
                const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
                if (name != L"." && name != L".." && ::lstrcmpiW(name.c_str(), last.c_str()) != 0) {
                    const std::wstring child = path + L"\\" + name;
                    const File opened = OpenForDeletion(child, anchor);
                    // Not where it was listed: the folder was swapped, so
                    // nothing more is taken from this listing.
                    if (!opened) return false;
                    whole = RemoveOpened(child, anchor, opened.get(), depth + 1) && whole;
                }
                if (!entry->NextEntryOffset) break;
            }
        }
    }
    if (!whole) return false;  // in use: the folder, its marker too, stays for the next start
    if (!last.empty()) {
        const File marker = OpenForDeletion(path + L"\\" + last, anchor);
        if (!marker || !DeleteByHandle(marker.get())) return false;
    }
    return DeleteByHandle(held);
}

// A folder (not a link) of a trusted owner that holds `marker`.
bool MarkedAsOurs(HANDLE folder, const std::wstring& path, const std::wstring& anchor,
                  const std::wstring& marker) {
    const DWORD attributes = Attributes(folder);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        !OwnerIsTrusted(folder))
        return false;
    const std::wstring markerPath = path + L"\\" + marker;
    const File mark(::CreateFileW(markerPath.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return mark && OpenedWhereExpected(mark.get(), markerPath, anchor);
}

}  // namespace

bool RemoveTreeByHandle(const std::wstring& path, const std::wstring& anchor,
                        const std::wstring& marker) {
    const File folder = OpenForDeletion(path, anchor);
    if (!folder) return false;
    if (!marker.empty() && !MarkedAsOurs(folder.get(), path, anchor, marker)) {
        Diag(L"[Pelmora]Left as it was (not made by Pelmora): " + path + L"\n");
        return false;
    }
    return RemoveOpened(path, anchor, folder.get(), 0, marker);
}

}  // namespace win
