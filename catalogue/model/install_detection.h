// Where the system's uninstall registry keeps each program, and which
// executable of an installed program a list row starts. No registry access
// here: install_detection_win.h reads the keys.
#pragma once
#include <string>
#include <string_view>

namespace pelmora {

// Below the local-machine hive.
inline constexpr std::u16string_view kUninstallKeyPrefix =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// The uninstall key of this updater itself.
std::u16string SelfUninstallKeyName();

// Pelmora.exe in the install folder its uninstall string names; empty
// without a folder.
std::u16string SelfExecutableIn(std::u16string_view folder);

// Pelmora's install folder without its last backslash: the key's
// "InstallLocation" (both installers write it; quotes dropped), else the
// folder of its uninstall string; empty when neither names one.
std::u16string SelfInstallFolder(std::u16string_view installLocation,
                                 std::u16string_view uninstallString);

// True when the uninstall string runs the Windows Installer (MsiExec.exe
// /X{product}): the key belongs to an MSI, and only an MSI may replace it.
bool IsMsiUninstallString(std::u16string_view uninstallString);

// The uninstall key of a catalogue program: fixed keys for ids 1 to 4, the
// English name below the prefix above 4, and empty (no lookup) for 0 or below.
std::u16string UninstallKeyName(int id, std::u16string_view englishName);

// The key that locates the folder of a catalogue program's executable, by
// its record: the fixed keys for ids 1 to 4, the English name's key above 4,
// empty (nothing to start) for 0 or below. The same key as UninstallKeyName.
std::u16string ProgramKeyForRecord(int id, std::u16string_view englishName);

// That program's executable, with its leading backslash: the fixed names for
// ids 1 to 5 ("\Veddimar.exe" for 5), the English name + ".exe" above 5,
// empty for 0 or below.
std::u16string ExecutableForRecord(int id, std::u16string_view englishName);

// The install folder named by an uninstall string: everything before its last
// backslash, empty without one. A quoted path ("C:\a b\uninst.exe" /S) is
// taken from inside its quotes, so neither the quote nor the arguments end up
// in the folder.
std::u16string FolderOfUninstallString(std::u16string_view uninstallString);

}  // namespace pelmora
