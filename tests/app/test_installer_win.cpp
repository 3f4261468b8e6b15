// A tiny installer of our own for the install workflow's tests. Run under a
// name ending in "setup.exe" or "setup_light.exe" it is an installer: it
// installs the program named by its folder ("downloaded_program\<name>") at
// the version in the version.txt beside it, into "<its folder>\installed":
// the tool "<name>.exe" (a copy of itself) and the uninstall key below
// HKLM in the 64-bit view with DisplayVersion and UninstallString. It writes
// its own file name into "ran.txt" beside it, and with "no-install.txt"
// beside it exits without installing. Under any other name it is the
// installed tool: it writes its path and working folder into "started.txt"
// in its working folder.
//
// Pelmora starts installers from a private copy, "<temp>\Pelmora-installer-
// *\<name>\<file>" (an elevated run's: "<ProgramData>\Korvath\Pelmora\
// Pelmora-installer-*\<name>\<file>", beside its downloads): then the
// download folder of <name> is still where it
// reads version.txt and writes ran.txt and installed\, and it also writes
// there a line "<its own path>|<its working folder>" into "ran-from.txt".
#include <shlobj.h>
#include <windows.h>

#include <string>

namespace {

bool WriteText(const std::wstring& path, const std::wstring& text) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(
        file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
    ::CloseHandle(file);
    return ok != FALSE;
}

// One more line: each run of the installer leaves its own.
bool AppendLine(const std::wstring& path, const std::wstring& line) {
    HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const std::wstring text = line + L"\n";
    DWORD written = 0;
    const BOOL ok = ::WriteFile(
        file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
    ::CloseHandle(file);
    return ok != FALSE;
}

std::wstring FirstLineOf(const std::wstring& path) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return L"";
    char bytes[256] = {};
    DWORD read = 0;
    ::ReadFile(file, bytes, sizeof(bytes) - 1, &read, nullptr);
    ::CloseHandle(file);
    std::string line(bytes, read);
    line = line.substr(0, line.find_first_of("\r\n"));
    return std::wstring(line.begin(), line.end());  // versions are ASCII
}

bool EndsWith(std::wstring text, const std::wstring& tail) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(::towlower(c));
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool SetValue(HKEY key, const wchar_t* name, const std::wstring& value) {
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
}

std::wstring DownloadFolderOf(const std::wstring& ownFolder, const std::wstring& name) {
    const std::wstring parent = ownFolder.substr(0, ownFolder.rfind(L'\\'));
    if (parent.find(L"\\Pelmora-installer-") == std::wstring::npos) return ownFolder;
    const std::wstring root = parent.substr(0, parent.rfind(L'\\'));
    const std::wstring elevated = L"\\Korvath\\Pelmora";
    if (root.size() > elevated.size() &&
        ::lstrcmpiW(root.c_str() + root.size() - elevated.size(), elevated.c_str()) == 0)
        return root + L"\\downloaded_program\\" + name;
    wchar_t documents[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_COMMON_DOCUMENTS, nullptr, SHGFP_TYPE_CURRENT, documents);
    return std::wstring(documents) + L"\\Korvath\\tools\\Pelmora\\downloaded_program\\" + name;
}

int Install(const std::wstring& self) {
    const std::wstring ownFolder = self.substr(0, self.rfind(L'\\'));
    const std::wstring fileName = self.substr(ownFolder.size() + 1);
    const std::wstring name = ownFolder.substr(ownFolder.rfind(L'\\') + 1);
    const std::wstring folder = DownloadFolderOf(ownFolder, name);
    wchar_t workingFolder[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, workingFolder);
    AppendLine(folder + L"\\ran-from.txt", self + L"|" + workingFolder);
    WriteText(folder + L"\\ran.txt", fileName);
    if (::GetFileAttributesW((folder + L"\\no-install.txt").c_str()) != INVALID_FILE_ATTRIBUTES)
        return 0;
    ::Sleep(300);  // an installer takes a moment
    std::wstring target = folder + L"\\installed";
    // A name at Pelmora's path limit leaves no room below its download folder.
    if ((target + L"\\" + name + L".exe").size() >= MAX_PATH) {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        target = std::wstring(temp) + L"pelmora-installed";
    }
    ::CreateDirectoryW(target.c_str(), nullptr);
    if (!::CopyFileW(self.c_str(), (target + L"\\" + name + L".exe").c_str(), FALSE)) return 2;
    const std::wstring keyPath =
        L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + name;
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0,
                          KEY_WRITE | KEY_WOW64_64KEY, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return 3;
    const bool ok = SetValue(key, L"DisplayVersion", FirstLineOf(folder + L"\\version.txt")) &&
                    SetValue(key, L"UninstallString", L"\"" + target + L"\\uninstall.exe\"");
    ::RegCloseKey(key);
    return ok ? 0 : 4;
}

int RunAsTool(const std::wstring& self) {
    wchar_t folder[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, folder);
    return WriteText(L"started.txt", self + L"\n" + folder) ? 0 : 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t module[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, module, MAX_PATH);
    const std::wstring self = module;
    if (EndsWith(self, L"setup.exe") || EndsWith(self, L"setup_light.exe")) return Install(self);
    return RunAsTool(self);
}
