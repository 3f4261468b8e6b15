#include "win/files_win.h"

#include "win/diagnostics_win.h"
#include "win/owned_files_win.h"

#include <bcrypt.h>
#include <shlobj.h>

#include <map>
#include <mutex>

namespace win {
namespace {

// Names tried before giving up: a neighbour who plants files at guessed
// names only makes Pelmora take another.
constexpr int kTemporaryNameTries = 16;

uint32_t RandomNumber() {
    uint32_t value = 0;
    if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&value), sizeof value,
                                          BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
        // Never seen; CREATE_NEW still keeps a planted file from being opened.
        LARGE_INTEGER now{};
        ::QueryPerformanceCounter(&now);
        value = static_cast<uint32_t>(now.QuadPart) ^ ::GetTickCount();
    }
    return value;
}

std::wstring Upper(std::wstring text) {
    if (!text.empty()) ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

struct WrittenFiles {
    std::mutex lock;
    std::map<std::wstring, std::string> bytes;  // by upper-case path
};

WrittenFiles& Written() {
    static WrittenFiles* const files = new WrittenFiles;  // threads may outlive exit
    return *files;
}

bool IsLink(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Where "\Korvath\tools\" (the shared folder) or "\Korvath\Pelmora\" (an
// elevated run's own, below ProgramData) starts in `path`; npos for any
// other path. An elevated run's folder is checked too: where access rules
// are missing (Wine, a FAT disk) it is as open as the shared one.
size_t PelmoraTreeStart(const std::wstring& path) {
    const std::wstring upper = Upper(path);
    const size_t shared = upper.find(L"\\KORVATH\\TOOLS\\");
    return shared != std::wstring::npos ? shared : upper.find(L"\\KORVATH\\PELMORA\\");
}

// The folder above that tree: the common documents folder or ProgramData.
std::wstring SharedAnchor(const std::wstring& path) {
    const size_t start = PelmoraTreeStart(path);
    return start == std::wstring::npos ? std::wstring() : path.substr(0, start);
}

DWORD LinkCount(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    return ::GetFileInformationByHandle(file, &info) ? info.nNumberOfLinks : 1;
}

}  // namespace

std::wstring LocalRoot() {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_DOCUMENTS, nullptr, SHGFP_TYPE_CURRENT,
                                  folder)))
        return {};
    return std::wstring(folder) + L"\\";
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool EnsureFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return ::CreateDirectoryW(path.c_str(), nullptr) != 0 ||
           ::GetLastError() == ERROR_ALREADY_EXISTS;
}

std::wstring LinkOnPath(const std::wstring& path) {
    const size_t shared = PelmoraTreeStart(path);
    if (shared == std::wstring::npos) return {};
    // Each folder from "Korvath" down (the common documents folder lets every
    // user plant one there too), then the file.
    for (size_t end = path.find(L'\\', shared + 1); end != std::wstring::npos;
         end = path.find(L'\\', end + 1)) {
        const std::wstring folder = path.substr(0, end);
        if (IsLink(::GetFileAttributesW(folder.c_str()))) return folder;
    }
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return {};
    if (IsLink(attributes)) return path;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return {};
    // No access asked: the count can be read even while another program writes it.
    const File file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return file && LinkCount(file.get()) > 1 ? path : std::wstring();
}

bool RefuseLink(const std::wstring& path) {
    const std::wstring link = LinkOnPath(path);
    if (link.empty()) return false;
    Diag(L"[Pelmora]Not written through a link (a junction, symbolic or hard link): " + link +
         (link == path ? L"" : L" (on the way to " + path + L")") + L"\n");
    ::SetLastError(kLinkRefusedError);
    return true;
}

bool OpenedThroughLink(HANDLE file, const std::wstring& path) {
    // The handle, not the path: a folder swapped for a link after a check by
    // path still shows here as a final path that is not `path`.
    const std::wstring anchor = SharedAnchor(path);
    return (!anchor.empty() && !OpenedWhereExpected(file, path, anchor)) || LinkCount(file) > 1;
}

bool RefuseLinkedFile(HANDLE file, const std::wstring& path) {
    if (!OpenedThroughLink(file, path)) return false;
    Diag(LinkCount(file) > 1 ? L"[Pelmora]Not written through a link (a hard link): " + path + L"\n"
                             : L"[Pelmora]Not written through a link (opened elsewhere than " +
                                   path + L")\n");
    ::SetLastError(kLinkRefusedError);
    return true;
}

std::wstring TemporaryNameBeside(const std::wstring& path) {
    // At most nine digits, as the sweep of stale files reads them.
    return path + L".part-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(RandomNumber() % 1000000000u);
}

File CreateTemporaryBeside(const std::wstring& path, std::wstring& temporary, DWORD flags) {
    for (int i = 0; i < kTemporaryNameTries; ++i) {
        temporary = TemporaryNameBeside(path);
        File file(::CreateFileW(temporary.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                nullptr, CREATE_NEW, flags | FILE_FLAG_OPEN_REPARSE_POINT,
                                nullptr));
        if (file && RefuseLinkedFile(file.get(), temporary)) {  // checked before a byte goes in
            DeleteByHandle(file.get());  // made through the link: ours to remove
            ::SetLastError(kLinkRefusedError);
            return File();
        }
        if (file || (::GetLastError() != ERROR_FILE_EXISTS &&
                     ::GetLastError() != ERROR_ALREADY_EXISTS))
            return file;
        Diag(L"[Pelmora]A file stands at a fresh temporary name; another is taken: " + temporary +
             L"\n");
    }
    temporary.clear();
    return File();
}

bool MoveReplacing(const std::wstring& from, const std::wstring& to) {
    if (RefuseLink(to)) return false;
    if (!::MoveFileExW(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return false;
    WrittenFiles& written = Written();
    const std::lock_guard<std::mutex> guard(written.lock);
    const auto kept = written.bytes.find(Upper(from));
    if (kept == written.bytes.end()) {
        written.bytes.erase(Upper(to));
    } else {
        std::string bytes = std::move(kept->second);
        written.bytes.erase(kept);
        written.bytes[Upper(to)] = std::move(bytes);
    }
    return true;
}

bool ReplaceFileWith(const std::wstring& path, const std::string& bytes) {
    if (RefuseLink(path)) return false;
    std::wstring temporary;
    DWORD error = ERROR_SUCCESS;
    {
        const File file = CreateTemporaryBeside(path, temporary);
        if (!file) return false;
        DWORD written = 0;
        if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                         nullptr))
            error = ::GetLastError();
        else if (written != bytes.size())
            error = ERROR_HANDLE_DISK_FULL;
        else if (!::FlushFileBuffers(file.get()))  // whole on disk before it replaces anything
            error = ::GetLastError();
    }  // closed here: an open file cannot be deleted
    if (error == ERROR_SUCCESS) {
        if (MoveReplacing(temporary, path)) return true;
        error = ::GetLastError();
    }
    ::DeleteFileW(temporary.c_str());
    ::SetLastError(error);  // the caller logs why it failed, not why the clean-up did
    return false;
}

void KeepWrittenBytes(const std::wstring& path, std::string bytes) {
    WrittenFiles& written = Written();
    const std::lock_guard<std::mutex> guard(written.lock);
    written.bytes[Upper(path)] = std::move(bytes);
}

bool WrittenBytes(const std::wstring& path, std::string& bytes) {
    WrittenFiles& written = Written();
    const std::lock_guard<std::mutex> guard(written.lock);
    const auto kept = written.bytes.find(Upper(path));
    if (kept == written.bytes.end()) return false;
    bytes = kept->second;
    return true;
}

void ForgetWrittenBytes(const std::wstring& path) {
    WrittenFiles& written = Written();
    const std::lock_guard<std::mutex> guard(written.lock);
    written.bytes.erase(Upper(path));
}

}  // namespace win
