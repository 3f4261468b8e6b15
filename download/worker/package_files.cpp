#include "download/worker/package_files.h"

namespace pelmora {
namespace {

std::u16string Decimal(int n) {
    const std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
}

}  // namespace

std::u16string PackageUrl(std::u16string_view folderUrl, std::u16string_view setupFile) {
    std::u16string url(folderUrl);
    url += u'/';
    url += setupFile;
    return url;
}

std::u16string InstallerFileName(std::u16string_view setupFile, int retryNumber) {
    std::u16string name;
    if (retryNumber > 0) name = u"_" + Decimal(retryNumber);
    name += setupFile;
    return name;
}

std::u16string ReleaseNoteUrl(std::u16string_view hqFolderUrl) {
    return PackageUrl(hqFolderUrl, u"ReleaseNote.txt");
}

std::u16string ReleaseNoteFile(std::u16string_view englishName) {
    std::u16string path = u"Korvath\\tools\\";
    path += englishName;
    path += u"ReleaseNote.txt";
    return path;
}

}  // namespace pelmora
