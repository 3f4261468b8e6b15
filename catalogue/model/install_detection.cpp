#include "catalogue/model/install_detection.h"

#include <iterator>

namespace pelmora {
namespace {

// Keys of the four known tools, ids 1 to 4.
constexpr std::u16string_view kFixedKeyNames[] = {u"Halvex", u"Quorin", u"Pindral", u"Strenna"};
constexpr std::u16string_view kFixedExecutables[] = {
    u"\\Halvexer.exe", u"\\Quorin.exe", u"\\Pindrals.exe", u"\\Strenna.exe", u"\\Veddimar.exe"};
constexpr int kFixedKeyCount = static_cast<int>(std::size(kFixedKeyNames));
constexpr int kFixedExecutableCount = static_cast<int>(std::size(kFixedExecutables));

std::u16string Below(std::u16string_view name) {
    std::u16string key(kUninstallKeyPrefix);
    key += name;
    return key;
}

}  // namespace

std::u16string SelfUninstallKeyName() { return Below(u"Pelmora"); }

std::u16string SelfExecutableIn(std::u16string_view folder) {
    if (folder.empty()) return {};
    // The folder comes without its last backslash.
    return std::u16string(folder) + u"\\Pelmora.exe";
}

std::u16string SelfInstallFolder(std::u16string_view installLocation,
                                 std::u16string_view uninstallString) {
    std::u16string_view folder = installLocation;
    if (folder.size() >= 2 && folder.front() == u'"' && folder.back() == u'"')
        folder = folder.substr(1, folder.size() - 2);
    // The MSI writes the folder with its last backslash, NSIS without.
    while (!folder.empty() && folder.back() == u'\\') folder.remove_suffix(1);
    if (folder.find(u'\\') != std::u16string_view::npos) return std::u16string(folder);
    return FolderOfUninstallString(uninstallString);
}

bool IsMsiUninstallString(std::u16string_view value) {
    if (!value.empty() && value.front() == u'"') {
        value.remove_prefix(1);
        value = value.substr(0, value.find(u'"'));
    } else {
        value = value.substr(0, value.find_first_of(u" \t"));
    }
    const size_t slash = value.rfind(u'\\');
    if (slash != std::u16string_view::npos) value.remove_prefix(slash + 1);
    std::u16string name;
    for (const char16_t c : value) name += c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
    return name == u"msiexec.exe" || name == u"msiexec";
}

std::u16string UninstallKeyName(int id, std::u16string_view englishName) {
    if (id <= 0) return {};
    if (id <= kFixedKeyCount) return Below(kFixedKeyNames[id - 1]);
    return Below(englishName);
}

std::u16string ProgramKeyForRecord(int id, std::u16string_view englishName) {
    return UninstallKeyName(id, englishName);
}

std::u16string ExecutableForRecord(int id, std::u16string_view englishName) {
    if (id <= 0) return {};
    // Id 5 keeps the executable name its row always had, though its key is its name.
    if (id <= kFixedExecutableCount) return std::u16string(kFixedExecutables[id - 1]);
    std::u16string name = u"\\";
    name += englishName;
    name += u".exe";
    return name;
}

std::u16string FolderOfUninstallString(std::u16string_view value) {
    if (!value.empty() && value.front() == u'"') {
        value.remove_prefix(1);
        const size_t close = value.find(u'"');
        if (close != std::u16string_view::npos) value = value.substr(0, close);
    }
    const size_t slash = value.rfind(u'\\');
    if (slash == std::u16string_view::npos) return {};
    return std::u16string(value.substr(0, slash));
}

}  // namespace pelmora
