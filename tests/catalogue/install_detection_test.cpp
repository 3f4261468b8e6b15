#include "catalogue/model/install_detection.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

TEST(InstallDetection, IdsAboveTheFixedFourUseTheEnglishName) {
    EXPECT_EQ(UninstallKeyName(0, u"Halvex"), u"");
    EXPECT_EQ(UninstallKeyName(-3, u"Halvex"), u"");
    EXPECT_EQ(UninstallKeyName(4, u"Mira Tool"), UninstallKeyName(4, u"Other"));
    EXPECT_EQ(UninstallKeyName(5, u"Mira Tool"),
              u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Mira Tool");
}

TEST(InstallDetection, RecordsChooseKeyAndExecutableByTheirId) {
    // Wherever the drop rule puts it, id 3 is Pindral and id 9 its own name.
    EXPECT_EQ(ProgramKeyForRecord(3, u"Other"), UninstallKeyName(3, u"x"));
    EXPECT_EQ(ExecutableForRecord(3, u"Other"), u"\\Pindrals.exe");
    EXPECT_EQ(ExecutableForRecord(1, u"Other"), u"\\Halvexer.exe");
    EXPECT_EQ(ExecutableForRecord(4, u"Other"), u"\\Strenna.exe");
    EXPECT_EQ(ProgramKeyForRecord(9, u"Mira Tool"), UninstallKeyName(9, u"Mira Tool"));
    EXPECT_EQ(ExecutableForRecord(9, u"Mira Tool"), u"\\Mira Tool.exe");
    // Id 5's executable keeps its fixed name whatever the record calls it; 6 takes the name.
    EXPECT_EQ(ExecutableForRecord(5, u"Veddimar Studio"), u"\\Veddimar.exe");
    EXPECT_EQ(ExecutableForRecord(6, u"Veddimar Studio"), u"\\Veddimar Studio.exe");
    EXPECT_EQ(ProgramKeyForRecord(0, u"Mira"), u"");
    EXPECT_EQ(ExecutableForRecord(0, u"Mira"), u"");
    EXPECT_EQ(ExecutableForRecord(-2, u"Mira"), u"");
}

TEST(InstallDetection, FolderIsTheUninstallerPathUpToItsLastBackslash) {
    EXPECT_EQ(FolderOfUninstallString(u"C:\\Tools\\Halvex\\uninst.exe"), u"C:\\Tools\\Halvex");
    EXPECT_EQ(FolderOfUninstallString(u"C:\\uninst.exe"), u"C:");
    EXPECT_EQ(FolderOfUninstallString(u"C:\\Tools\\Halvex\\"), u"C:\\Tools\\Halvex");
    EXPECT_EQ(FolderOfUninstallString(u"uninst.exe"), u"");
    EXPECT_EQ(FolderOfUninstallString(u"MsiExec.exe /X{12AB}"), u"");
    EXPECT_EQ(FolderOfUninstallString(u""), u"");
    // Unquoted arguments are not told apart from the path.
    EXPECT_EQ(FolderOfUninstallString(u"C:\\A\\u.exe /log=C:\\t\\u.log"),
              u"C:\\A\\u.exe /log=C:\\t");
}

TEST(InstallDetection, QuotedUninstallerPathLosesQuotesAndArguments) {
    EXPECT_EQ(FolderOfUninstallString(u"\"C:\\Program Files\\Halvex\\uninst.exe\""),
              u"C:\\Program Files\\Halvex");
    EXPECT_EQ(FolderOfUninstallString(u"\"C:\\Program Files\\Halvex\\uninst.exe\" /S /D=C:\\x"),
              u"C:\\Program Files\\Halvex");
    EXPECT_EQ(FolderOfUninstallString(u"\"uninst.exe\" C:\\x"), u"");
    EXPECT_EQ(FolderOfUninstallString(u"\"C:\\Halvex\\uninst.exe"), u"C:\\Halvex");  // unclosed
}

TEST(InstallDetection, InstalledPelmoraIsInTheFolderOfItsUninstaller) {
    EXPECT_EQ(SelfExecutableIn(FolderOfUninstallString(u"\"C:\\Program Files\\Pelmora\\u.exe\"")),
              u"C:\\Program Files\\Pelmora\\Pelmora.exe");
    EXPECT_EQ(SelfExecutableIn(u""), u"");
}

TEST(InstallDetection, InstallLocationNamesPelmorasFolderBeforeItsUninstaller) {
    const std::u16string_view nsis = u"\"C:\\Program Files\\Korvath\\Pelmora\\uninstall.exe\"";
    EXPECT_EQ(SelfInstallFolder(u"D:\\Apps\\Pelmora\\", u"MsiExec.exe /X{1}"),
              u"D:\\Apps\\Pelmora");
    EXPECT_EQ(SelfInstallFolder(u"\"D:\\Apps\\Pelmora\"", nsis), u"D:\\Apps\\Pelmora");
    EXPECT_EQ(SelfInstallFolder(u"", nsis), u"C:\\Program Files\\Korvath\\Pelmora");
    EXPECT_EQ(SelfInstallFolder(u"relative", nsis), u"C:\\Program Files\\Korvath\\Pelmora");
    EXPECT_EQ(SelfInstallFolder(u"", u"MsiExec.exe /X{1}"), u"");
}

TEST(InstallDetection, AnUninstallStringThatRunsMsiExecIsAnMsisKey) {
    for (const std::u16string_view msi :
         {u"MsiExec.exe /X{6F1C2B7E}", u"msiexec /x{6F1C2B7E} /qn",
          u"C:\\Windows\\System32\\MsiExec.exe /I{6F1C2B7E}",
          u"\"C:\\Windows\\System32\\msiexec.exe\" /X{6F1C2B7E}"})
        EXPECT_TRUE(IsMsiUninstallString(msi)) << std::string(msi.begin(), msi.end());
    for (const std::u16string_view other :
         {u"\"C:\\Program Files\\Pelmora\\uninstall.exe\"", u"C:\\msiexec\\uninstall.exe",
          u"C:\\Tools\\notmsiexec.exe /X", u""})
        EXPECT_FALSE(IsMsiUninstallString(other)) << std::string(other.begin(), other.end());
}

}  // namespace
}  // namespace pelmora
