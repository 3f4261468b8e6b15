#include "catalogue/model/install_detection_win.h"

#include "win/files_win.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <winternl.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/file_bytes_win.h"

namespace pelmora {
namespace {

const std::wstring kPrefix = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr REGSAM kNative = 0;
constexpr REGSAM kWow32 = KEY_WOW64_32KEY;

// Real uninstall keys in the test prefix's registry, removed after each test.
class UninstallKeys : public ::testing::Test {
  protected:
    void TearDown() override {
        for (const auto& [view, path] : created_)
            ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), view, 0);
    }

    // Creates the key `name` below the uninstall prefix in one view; returns its path.
    std::wstring Key(REGSAM view, const std::wstring& name) {
        const std::wstring path = kPrefix + name;
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), view, 0);  // left by a crashed run
        HKEY key = nullptr;
        EXPECT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                    KEY_WRITE | view, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        if (key) ::RegCloseKey(key);
        created_.emplace_back(view, path);
        return path;
    }

    // Stores the bytes exactly as given. RegSetValueExW would add a missing
    // string terminator; the native call does not, as a careless installer's may not.
    void Set(REGSAM view, const std::wstring& path, const wchar_t* value, DWORD type,
             const void* data, size_t bytes) {
        using SetValue = LONG(WINAPI*)(HANDLE, UNICODE_STRING*, ULONG, ULONG, const void*, ULONG);
        const auto setValue = reinterpret_cast<SetValue>(reinterpret_cast<void (*)()>(
            ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtSetValueKey")));
        HKEY key = nullptr;
        ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE | view, &key),
                  ERROR_SUCCESS);
        UNICODE_STRING name{};
        name.Buffer = const_cast<wchar_t*>(value);
        name.Length = name.MaximumLength = static_cast<USHORT>(wcslen(value) * sizeof(wchar_t));
        EXPECT_EQ(setValue(key, &name, 0, type, data, static_cast<ULONG>(bytes)), 0);
        ::RegCloseKey(key);
    }
    void Text(REGSAM view, const std::wstring& path, const wchar_t* value, const std::wstring& s) {
        Set(view, path, value, REG_SZ, s.c_str(), (s.size() + 1) * sizeof(wchar_t));
    }
    std::wstring Installed(REGSAM view, const std::wstring& name, const std::wstring& version) {
        const std::wstring path = Key(view, name);
        Text(view, path, L"DisplayVersion", version);
        return path;
    }

    std::vector<std::pair<REGSAM, std::wstring>> created_;
};

TEST_F(UninstallKeys, VersionsCompareAsWholeTextIgnoringCase) {
    const std::wstring key = Installed(kNative, L"PelmoraTest Compare", L"2.1.0-Beta");
    EXPECT_EQ(CheckInstalled(key, L"2.1.0-Beta"), Latest);
    EXPECT_EQ(CheckInstalled(key, L"2.1.0-bETA"), Latest);
    EXPECT_EQ(CheckInstalled(key, L"2.1.0"), UpdateAvailable);        // prefix only
    EXPECT_EQ(CheckInstalled(key, L"2.1.0-Beta "), UpdateAvailable);  // trailing blank
    EXPECT_EQ(CheckInstalled(key, L"2.01.0-Beta"), UpdateAvailable);  // not a version order
    EXPECT_EQ(CheckInstalled(key, L"1.0"), UpdateAvailable);  // installed newer still differs
    EXPECT_EQ(CheckInstalled(key, L""), UpdateAvailable);
}

TEST_F(UninstallKeys, MissingKeyValueOrTooLongValueIsNotInstalled) {
    EXPECT_EQ(CheckInstalled(kPrefix + L"PelmoraTest Absent", L"1.0"), NotInstalled);
    const std::wstring key = Key(kNative, L"PelmoraTest Long");
    Text(kNative, key, L"UninstallString", L"C:\\x\\u.exe");
    EXPECT_EQ(CheckInstalled(key, L"1.0"), NotInstalled);  // no version value

    // 125 characters and their terminator fill 252 of the 253 bytes; one more does not fit.
    const std::wstring fits(125, L'7'), tooLong(126, L'7');
    Text(kNative, key, L"DisplayVersion", fits);
    EXPECT_EQ(CheckInstalled(key, fits), Latest);
    Text(kNative, key, L"DisplayVersion", tooLong);
    EXPECT_EQ(CheckInstalled(key, tooLong), NotInstalled);
    EXPECT_EQ(CheckInstalled(key, fits), NotInstalled);

    const DWORD number = 0x00310031;  // would read as "11" if taken for text
    Set(kNative, key, L"DisplayVersion", REG_DWORD, &number, sizeof(number));
    EXPECT_EQ(CheckInstalled(key, L"11"), NotInstalled);
}

TEST_F(UninstallKeys, ValueWithoutTerminatorIsReadNoFurtherThanItsData) {
    const std::wstring key = Key(kNative, L"PelmoraTest Unterminated");
    const std::wstring full(126, L'4');  // 252 bytes: fits only without a terminator
    Set(kNative, key, L"DisplayVersion", REG_SZ, full.data(), 252);
    EXPECT_EQ(CheckInstalled(key, full), Latest);
    EXPECT_EQ(CheckInstalled(key, full + L"4"), UpdateAvailable);
    Set(kNative, key, L"DisplayVersion", REG_SZ, L"3.2xx", 3 * sizeof(wchar_t));
    EXPECT_EQ(CheckInstalled(key, L"3.2"), Latest);
}

TEST_F(UninstallKeys, ThirtyTwoBitViewIsSearchedWhenTheNativeViewHasNoKey) {
    const std::wstring only32 = Installed(kWow32, L"PelmoraTest Wow", L"5.0");
    HKEY probe = nullptr;  // the two views really differ in this prefix
    ASSERT_NE(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, only32.c_str(), 0, KEY_READ, &probe),
              ERROR_SUCCESS);
    EXPECT_EQ(CheckInstalled(only32, L"5.0"), Latest);
    EXPECT_EQ(CheckInstalled(only32, L"5.1"), UpdateAvailable);

    // Present in both: the native view's entry is the one that counts.
    const std::wstring both = Installed(kNative, L"PelmoraTest Both", L"6.0");
    Installed(kWow32, L"PelmoraTest Both", L"5.0");
    EXPECT_EQ(CheckInstalled(both, L"6.0"), Latest);
    EXPECT_EQ(CheckInstalled(both, L"5.0"), UpdateAvailable);

    // A native key without the value does not send the search on to the other view.
    const std::wstring split = Key(kNative, L"PelmoraTest Split");
    Installed(kWow32, L"PelmoraTest Split", L"5.0");
    EXPECT_EQ(CheckInstalled(split, L"5.0"), NotInstalled);
}

TEST_F(UninstallKeys, InstallFolderFromEitherView) {
    const std::wstring native = Key(kNative, L"PelmoraTest Folder");
    Text(kNative, native, L"UninstallString", L"C:\\Tools\\Folder\\uninst.exe");
    EXPECT_EQ(FindInstallFolder(native), L"C:\\Tools\\Folder");
    Text(kNative, native, L"UninstallString", L"\"C:\\Program Files\\Folder\\uninst.exe\" /S");
    EXPECT_EQ(FindInstallFolder(native), L"C:\\Program Files\\Folder");
    Text(kNative, native, L"UninstallString", L"uninst.exe");
    EXPECT_EQ(FindInstallFolder(native), L"");
    Text(kNative, native, L"UninstallString", std::wstring(126, L'\\'));  // too long
    EXPECT_EQ(FindInstallFolder(native), L"");
    EXPECT_EQ(FindInstallFolder(kPrefix + L"PelmoraTest Absent"), L"");

    const std::wstring wow = Key(kWow32, L"PelmoraTest Folder32");
    Text(kWow32, wow, L"UninstallString", L"C:\\Tools (x86)\\Folder32\\uninst.exe");
    EXPECT_EQ(FindInstallFolder(wow), L"C:\\Tools (x86)\\Folder32");
}

TEST_F(UninstallKeys, CatalogueIdsSelectTheirKeys) {
    Installed(kNative, L"Quorin", L"1.4");
    Installed(kWow32, L"PelmoraTest Named", L"2.2");
    EXPECT_EQ(DetectInstallState(2, L"PelmoraTest Named", L"1.4"), Latest);
    EXPECT_EQ(DetectInstallState(7, L"PelmoraTest Named", L"2.2"), Latest);
    EXPECT_EQ(DetectInstallState(7, L"PelmoraTest Unnamed", L"2.2"), NotInstalled);
    EXPECT_EQ(DetectInstallState(0, L"PelmoraTest Named", L"2.2"), NotLookedUp);
    EXPECT_EQ(DetectInstallState(-1, L"PelmoraTest Named", L"2.2"), NotLookedUp);
}

// Copies the stand-in program into a fresh folder below the local root under
// the executable name a row starts, and reads back what it wrote when started.
class InstalledProgram : public UninstallKeys {
  protected:
    void TearDown() override {
        ::DeleteFileW((folder_ + L"\\started.txt").c_str());
        ::DeleteFileW(exe_.c_str());
        ::RemoveDirectoryW(folder_.c_str());
        UninstallKeys::TearDown();
    }

    void InstallProbe(const std::wstring& folderName, const std::wstring& exeName) {
        wchar_t self[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring probe = self;
        probe.replace(probe.rfind(L'\\') + 1, std::wstring::npos, L"installed_program_probe.exe");
        folder_ = win::LocalRoot() + folderName;
        exe_ = folder_ + L"\\" + exeName;
        ASSERT_TRUE(win::EnsureFolder(folder_));
        ASSERT_TRUE(::CopyFileW(probe.c_str(), exe_.c_str(), FALSE)) << ::GetLastError();
    }

    // The probe's path and working folder, once it has run (up to 10 s).
    std::wstring WaitForStart() const {
        for (int i = 0; i < 200; ++i, ::Sleep(50)) {
            const std::string bytes = testsupport::ReadFileBytes(folder_ + L"\\started.txt");
            if (bytes != "<missing>" && !bytes.empty())
                return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()),
                                    bytes.size() / sizeof(wchar_t));
        }
        return L"<not started>";
    }

    std::wstring folder_, exe_;
};

TEST_F(InstalledProgram, FixedIdStartsItsOwnExecutableInItsFolder) {
    InstallProbe(L"pelmora-start-fixed", L"Pindrals.exe");
    Text(kNative, Key(kNative, L"Pindral"), L"UninstallString",
         L"\"" + folder_ + L"\\uninstall.exe\"");
    StartInstalledProgram(3, L"Not used for id three");
    EXPECT_EQ(WaitForStart(), exe_ + L"\n" + folder_);
}

TEST_F(InstalledProgram, NamedRowIsFoundInThe32BitView) {
    InstallProbe(L"pelmora-start-named", L"PelmoraTest Probe.exe");
    Text(kWow32, Key(kWow32, L"PelmoraTest Probe"), L"UninstallString", folder_ + L"\\u.exe");
    StartInstalledProgram(7, L"PelmoraTest Probe");
    EXPECT_EQ(WaitForStart(), exe_ + L"\n" + folder_);
}

}  // namespace
}  // namespace pelmora
