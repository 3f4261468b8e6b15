// Installed-program detection from the uninstall registry, and starting an
// installed program by its catalogue record.
#pragma once
#include "catalogue/model/install_state.h"
#include "win/handles_win.h"

#include <string>

namespace pelmora {

// NotInstalled when the key (below HKEY_LOCAL_MACHINE, native view then the
// 32-bit view) or its "DisplayVersion" cannot be read; Latest when that value
// equals `serverVersion` ignoring case; UpdateAvailable for any difference,
// a newer installed version included.
InstallState CheckInstalled(const std::wstring& keyName, const std::wstring& serverVersion);

// The key's "DisplayVersion"; empty when it cannot be read.
std::wstring InstalledVersion(const std::wstring& keyName);

// The folder of the program's uninstaller, from the key's "UninstallString";
// empty when the key, the value or a backslash in it is missing.
std::wstring FindInstallFolder(const std::wstring& keyName);

// Pelmora's own install, as its uninstall key names it.
struct SelfInstall {
    std::wstring folder;  // without its last backslash; empty when the key names none
    bool msi = false;     // the key is the MSI's (its uninstall string runs MsiExec)
};
SelfInstall FindSelfInstall();

// The state of a catalogue program by its id; NotLookedUp for ids 0 or below.
InstallState DetectInstallState(int id, const std::wstring& englishName,
                                const std::wstring& serverVersion);

// Opens the installed executable of the catalogue program `id` (fixed key and
// name for ids 1 to 4, the English name's key and "<name>.exe" above 4) with
// its folder as the working folder. Does not wait, and reports nothing but
// the started process (empty when the system gives none): a program that
// cannot be found or started, or whose name cannot be a file name, simply
// does not start.
win::Handle StartInstalledProgram(int id, const std::wstring& englishName);

}  // namespace pelmora
