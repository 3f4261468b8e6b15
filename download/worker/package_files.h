// Where a program's installer comes from and what it is called: the URL
// below the catalogue's folder and the file name of the n-th retry. Also the
// release note's URL and local file.
#pragma once
#include <string>
#include <string_view>

namespace pelmora {

// The catalogue's folder URL, "/" and the installer name.
std::u16string PackageUrl(std::u16string_view folderUrl, std::u16string_view setupFile);

// The installer name, or on the n-th retry (n above 0) "_" + n + the name.
std::u16string InstallerFileName(std::u16string_view setupFile, int retryNumber);

// The HQ folder URL joined with "/", the separator of URL paths.
std::u16string ReleaseNoteUrl(std::u16string_view hqFolderUrl);

// Below the local root: "Korvath\tools\" + name + "ReleaseNote.txt".
std::u16string ReleaseNoteFile(std::u16string_view englishName);

}  // namespace pelmora
