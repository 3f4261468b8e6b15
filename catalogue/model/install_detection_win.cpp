#include "catalogue/model/install_detection_win.h"

#include "catalogue/model/install_detection.h"
#include "catalogue/model/safe_name.h"
#include "win/diagnostics_win.h"
#include "win/process_win.h"
#include "win/registry_win.h"
#include "win/text_win.h"

#include <windows.h>

namespace pelmora {
namespace {

// Both values are read through a buffer of this many bytes; longer ones count as missing.
constexpr DWORD kValueBufferBytes = 253;

bool ReadUninstallValue(const std::wstring& keyName, const wchar_t* valueName,
                        std::wstring& value) {
    const win::RegKey key = win::OpenLocalMachineKey(keyName);
    return key && win::ReadStringValue(key.get(), valueName, kValueBufferBytes, value);
}

bool EqualIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

InstallState CheckInstalled(const std::wstring& keyName, const std::wstring& serverVersion) {
    std::wstring installed;
    if (!ReadUninstallValue(keyName, L"DisplayVersion", installed)) return NotInstalled;
    return EqualIgnoringCase(installed, serverVersion) ? Latest : UpdateAvailable;
}

std::wstring InstalledVersion(const std::wstring& keyName) {
    std::wstring installed;
    return ReadUninstallValue(keyName, L"DisplayVersion", installed) ? installed : std::wstring();
}

std::wstring FindInstallFolder(const std::wstring& keyName) {
    std::wstring uninstall;
    if (!ReadUninstallValue(keyName, L"UninstallString", uninstall)) return {};
    return win::ToWide(FolderOfUninstallString(win::ToU16(uninstall)));
}

SelfInstall FindSelfInstall() {
    const std::wstring key = win::ToWide(SelfUninstallKeyName());
    std::wstring location, uninstall;
    if (!ReadUninstallValue(key, L"InstallLocation", location)) location.clear();
    if (!ReadUninstallValue(key, L"UninstallString", uninstall)) uninstall.clear();
    SelfInstall self;
    self.folder =
        win::ToWide(SelfInstallFolder(win::ToU16(location), win::ToU16(uninstall)));
    self.msi = IsMsiUninstallString(win::ToU16(uninstall));
    return self;
}

InstallState DetectInstallState(int id, const std::wstring& englishName,
                                const std::wstring& serverVersion) {
    const std::u16string key = UninstallKeyName(id, win::ToU16(englishName));
    if (key.empty()) return NotLookedUp;
    return CheckInstalled(win::ToWide(key), serverVersion);
}

win::Handle StartInstalledProgram(int id, const std::wstring& englishName) {
    const std::u16string name = win::ToU16(englishName);
    const std::u16string key = ProgramKeyForRecord(id, name);
    if (key.empty()) return {};
    // Above id 5 the name becomes the executable's file name.
    if (id > 5 && !IsSafeFileName(name)) {
        win::Diag(L"[Pelmora] no program start for \"" + win::ToWide(PrintableName(name)) +
                  L"\": not a file name\n");
        return {};
    }
    const std::wstring folder = FindInstallFolder(win::ToWide(key));
    // Without a folder the path would be "\<exe>" on the current drive: some
    // other program, if anything.
    if (folder.empty()) {
        win::Diag(L"[Pelmora] no install folder for program " + std::to_wstring(id) + L"\n");
        return {};
    }
    const std::wstring path = folder + win::ToWide(ExecutableForRecord(id, name));
    win::Handle process;
    if (const DWORD error = win::StartProgram(
            win::ProgramStart{path, {}, folder, win::StartHow::Shell, nullptr}, &process))
        win::Diag(L"[Pelmora] could not start " + path + L": " + win::ErrorCodeText(error) + L"\n");
    return process;
}

}  // namespace pelmora
