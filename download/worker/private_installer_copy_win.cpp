#include "download/worker/private_installer_copy_win.h"

#include "trust/authenticode_win.h"
#include "trust/installer_digest_win.h"
#include "win/diagnostics_win.h"
#include "win/files_win.h"
#include "win/folder_check_win.h"
#include "win/owned_files_win.h"
#include "win/text_win.h"

#include <sddl.h>
#include <windows.h>

#include <atomic>
#include <memory>

namespace pelmora {
namespace {

constexpr wchar_t kFolderPrefix[] = L"Pelmora-installer-";
constexpr wchar_t kMarkerName[] = L"made-by-pelmora";
constexpr DWORD kCopyChunkBytes = 256 * 1024;

std::wstring TemporaryFolder() {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, path);
    return n && n <= MAX_PATH ? std::wstring(path, n) : std::wstring();  // ends in a backslash
}

// This user and the system, not inherited: TMP may point at a folder that
// other users can write (C:\Temp, say). Administrators may read and run it:
// an installer elevated with an administrator's own account reads itself.
std::wstring OwnUserOnlySddl() {
    HANDLE rawToken = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &rawToken)) return {};
    const win::Handle token(rawToken);
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    const std::unique_ptr<BYTE[]> buffer(new BYTE[size ? size : 1]);
    wchar_t* sid = nullptr;
    if (!size || !::GetTokenInformation(token.get(), TokenUser, buffer.get(), size, &size) ||
        !::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.get())->User.Sid, &sid))
        return {};
    std::wstring sddl =
        L"D:P(A;OICI;FA;;;SY)(A;OICI;FRFX;;;BA)(A;OICI;FA;;;" + std::wstring(sid) + L")";
    ::LocalFree(sid);
    return sddl;
}

// A folder that did not exist before this call.
bool MakeFreshFolder(const std::wstring& path) {
    const std::wstring sddl = OwnUserOnlySddl();
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (sddl.empty() || !::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                            sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    const bool made = ::CreateDirectoryW(path.c_str(), &attributes) != FALSE;
    const DWORD error = ::GetLastError();
    ::LocalFree(descriptor);
    ::SetLastError(error);
    return made;
}

// Below `privateRoot` (ending in a backslash), or the temporary folder.
std::wstring PrivateRootOr(const std::wstring& privateRoot) {
    return privateRoot.empty() ? TemporaryFolder() : privateRoot;
}

// Marks a fresh folder as Pelmora's: the clean-up deletes no folder without it.
bool Mark(const std::wstring& folder) {
    const win::File marker(::CreateFileW((folder + L"\\" + kMarkerName).c_str(), GENERIC_WRITE, 0,
                                         nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(marker);
}

std::wstring FreshPrivateFolder(const std::wstring& privateRoot) {
    const std::wstring temporary = PrivateRootOr(privateRoot);
    if (temporary.empty()) return {};
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::wstring folder = temporary + kFolderPrefix +
                                    std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                    std::to_wstring(::GetTickCount64()) + L"-" +
                                    std::to_wstring(++counter);
        if (MakeFreshFolder(folder)) return Mark(folder) ? folder : std::wstring();
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
}

bool CopyBytes(HANDLE from, HANDLE to) {
    const std::unique_ptr<char[]> buffer(new char[kCopyChunkBytes]);
    for (;;) {
        DWORD got = 0, written = 0;
        if (!::ReadFile(from, buffer.get(), kCopyChunkBytes, &got, nullptr)) return false;
        if (got == 0) return true;
        if (!::WriteFile(to, buffer.get(), got, &written, nullptr) || written != got) return false;
    }
}

PrivateInstaller Failed(const std::wstring& what, const std::wstring& path, DWORD error) {
    win::Diag(L"[Pelmora]No private copy of the installer (" + what + L", " +
              win::ErrorCodeText(error) + L"): " + path + L"\n");
    PrivateInstaller failed;
    failed.error = error ? error : ERROR_GEN_FAILURE;
    return failed;
}

}  // namespace

PrivateInstaller CopyInstallerPrivately(const std::wstring& source, const std::wstring& folderName,
                                        const std::optional<Sha256Digest>& digest,
                                        const Publishers& signers,
                                        const std::wstring& privateRoot) {
    const win::File from(::CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING,
                                       FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT,
                                       nullptr));
    if (!from) return Failed(L"unreadable", source, ::GetLastError());
    if (win::RefuseLinkedFile(from.get(), source))  // logged
        return Failed(L"a link", source, win::kLinkRefusedError);
    const std::wstring root = FreshPrivateFolder(privateRoot);
    if (root.empty()) return Failed(L"no folder", PrivateRootOr(privateRoot), ::GetLastError());
    const std::wstring folder = root + L"\\" + folderName;
    if (!::CreateDirectoryW(folder.c_str(), nullptr))
        return Failed(L"no folder", folder, ::GetLastError());
    const std::wstring path = folder + source.substr(source.rfind(L'\\'));
    {
        const win::File to(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!to || !CopyBytes(from.get(), to.get())) {
            const DWORD error = ::GetLastError();
            return Failed(L"not copied", path, error);
        }
    }
    PrivateInstaller copy;
    if (digest) {
        copy.held = OpenVerified(path, *digest);
        if (!copy.held) return Failed(L"copy does not match the digest", path, ERROR_FILE_INVALID);
    } else {
        copy.held.reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!copy.held) return Failed(L"copy unreadable", path, ::GetLastError());
        if (signers.empty())
            win::Diag(L"[Pelmora]No digest known for " + source +
                      L": its private copy runs unchecked\n");
    }
    // The publisher's signature, read through the same held handle: what
    // was checked is what runs.
    if (!signers.empty()) {
        const SignerCheck signer = CheckSigner(copy.held.get(), path, signers);
        if (signer.error != ERROR_SUCCESS) {
            win::Diag(L"[Pelmora]Installer refused: " + win::FromUtf8(signer.reason) + L": " +
                      source + L"\n");
            PrivateInstaller refused;
            refused.error = signer.error;
            refused.refusal = signer.reason;
            return refused;
        }
        win::Diag(L"[Pelmora]Installer signed by this Pelmora's publisher: " + source + L"\n");
    }
    copy.path = path;
    win::Diag(L"[Pelmora]Installer copied to " + path + L"\n");
    return copy;
}

void RemovePrivateInstallerFolders(const std::wstring& privateRoot) {
    const std::wstring temporary = PrivateRootOr(privateRoot);
    if (temporary.empty()) return;
    WIN32_FIND_DATAW found;
    const HANDLE search =
        ::FindFirstFileW((temporary + kFolderPrefix + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    // Whatever the listing says, each is opened and checked by handle: as
    // SYSTEM the temporary folder is one where users may make folders too.
    do {
        win::RemoveTreeByHandle(temporary + found.cFileName, win::WithoutTrailingSlash(temporary),
                                kMarkerName);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

}  // namespace pelmora
