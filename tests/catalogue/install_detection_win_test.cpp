#include "catalogue/install_detection_win.h"

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

    // Stores `bytes` bytes of `data` as the value, exactly: no terminator added.
    void Raw(REGSAM view, const std::wstring& path, const wchar_t* value, DWORD type,
             const void* data, DWORD bytes) {
        HKEY key = nullptr;
        ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE | view, &key),
                  ERROR_SUCCESS);
        EXPECT_EQ(::RegSetValueExW(key, value, 0, type, static_cast<const BYTE*>(data), bytes),
                  ERROR_SUCCESS);
        ::RegCloseKey(key);
    }

    // RegSetValueExW adds a missing terminator to strings; the native call stores
    // the bytes as given, as a careless installer may have.
    void Unterminated(const std::wstring& path, const wchar_t* value, const std::wstring& text) {
        using SetValue = LONG(WINAPI*)(HANDLE, UNICODE_STRING*, ULONG, ULONG, const void*, ULONG);
        const auto setValue = reinterpret_cast<SetValue>(reinterpret_cast<void (*)()>(
            ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtSetValueKey")));
        ASSERT_NE(setValue, nullptr);
        HKEY key = nullptr;
        ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, &key),
                  ERROR_SUCCESS);
        UNICODE_STRING name{};
        name.Buffer = const_cast<wchar_t*>(value);
        name.Length = name.MaximumLength = static_cast<USHORT>(wcslen(value) * sizeof(wchar_t));
        EXPECT_EQ(setValue(key, &name, 0, REG_SZ, text.data(),
                           static_cast<ULONG>(text.size() * sizeof(wchar_t))),
                  0);
        ::RegCloseKey(key);
    }

    void Text(REGSAM view, const std::wstring& path, const wchar_t* value,
              const std::wstring& text) {
        Raw(view, path, value, REG_SZ, text.c_str(),
            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }

    std::wstring Installed(REGSAM view, const std::wstring& name, const std::wstring& version) {
        const std::wstring path = Key(view, name);
        Text(view, path, L"DisplayVersion", version);
        return path;
    }

    static bool VisibleIn(REGSAM view, const std::wstring& path) {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) !=
            ERROR_SUCCESS)
            return false;
        ::RegCloseKey(key);
        return true;
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

    const std::wstring bare = Key(kNative, L"PelmoraTest NoVersion");
    Text(kNative, bare, L"UninstallString", L"C:\\x\\u.exe");
    EXPECT_EQ(CheckInstalled(bare, L"1.0"), NotInstalled);

    // 125 characters and their terminator fill 252 of the 253 bytes; one more does not fit.
    const std::wstring fits(125, L'7');
    const std::wstring tooLong(126, L'7');
    const std::wstring key = Installed(kNative, L"PelmoraTest Long", fits);
    EXPECT_EQ(CheckInstalled(key, fits), Latest);
    Text(kNative, key, L"DisplayVersion", tooLong);
    EXPECT_EQ(CheckInstalled(key, tooLong), NotInstalled);
    EXPECT_EQ(CheckInstalled(key, fits), NotInstalled);

    const DWORD number = 0x00310031;  // would read as "11" if taken for text
    Raw(kNative, key, L"DisplayVersion", REG_DWORD, &number, sizeof(number));
    EXPECT_EQ(CheckInstalled(key, L"11"), NotInstalled);
}

TEST_F(UninstallKeys, ValueWithoutTerminatorIsReadNoFurtherThanItsData) {
    const std::wstring key = Key(kNative, L"PelmoraTest Unterminated");
    const std::wstring full(126, L'4');  // 252 bytes: fits only without a terminator
    Unterminated(key, L"DisplayVersion", full);
    EXPECT_EQ(CheckInstalled(key, full), Latest);
    EXPECT_EQ(CheckInstalled(key, full + L"4"), UpdateAvailable);

    Unterminated(key, L"DisplayVersion", L"3.2");
    EXPECT_EQ(CheckInstalled(key, L"3.2"), Latest);
}

TEST_F(UninstallKeys, ThirtyTwoBitViewIsSearchedWhenTheNativeViewHasNoKey) {
    const std::wstring only32 = Installed(kWow32, L"PelmoraTest Wow", L"5.0");
    ASSERT_FALSE(VisibleIn(kNative, only32));  // the two views really differ here
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

    const std::wstring wow = Key(kWow32, L"PelmoraTest Folder32");
    Text(kWow32, wow, L"UninstallString", L"C:\\Tools (x86)\\Folder32\\uninst.exe");
    EXPECT_EQ(FindInstallFolder(wow), L"C:\\Tools (x86)\\Folder32");

    EXPECT_EQ(FindInstallFolder(kPrefix + L"PelmoraTest Absent"), L"");
    Text(kNative, native, L"UninstallString", std::wstring(126, L'\\'));  // too long
    EXPECT_EQ(FindInstallFolder(native), L"");
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

// Installs the probe program under `exeName` in a fresh folder below the local root.
class InstalledProgram : public UninstallKeys {
  protected:
    void TearDown() override {
        for (const std::wstring& folder : folders_) {
            ::DeleteFileW((folder + L"\\started.txt").c_str());
            WIN32_FIND_DATAW found{};
            HANDLE find = ::FindFirstFileW((folder + L"\\*.exe").c_str(), &found);
            if (find != INVALID_HANDLE_VALUE) {
                do ::DeleteFileW((folder + L"\\" + found.cFileName).c_str());
                while (::FindNextFileW(find, &found));
                ::FindClose(find);
            }
            ::RemoveDirectoryW(folder.c_str());
        }
        UninstallKeys::TearDown();
    }

    std::wstring InstallProbe(const std::wstring& folderName, const std::wstring& exeName) {
        wchar_t self[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring probe = self;
        probe.resize(probe.rfind(L'\\') + 1);
        probe += L"installed_program_probe.exe";
        const std::wstring folder = win::LocalRoot() + folderName;
        EXPECT_TRUE(win::EnsureFolder(folder));
        EXPECT_TRUE(::CopyFileW(probe.c_str(), (folder + L"\\" + exeName).c_str(), FALSE))
            << "probe missing: " << ::GetLastError();
        folders_.push_back(folder);
        return folder;
    }

    // What the probe wrote when started: its path and its working folder.
    static std::wstring WaitForStart(const std::wstring& folder) {
        const std::wstring marker = folder + L"\\started.txt";
        for (int i = 0; i < 200; ++i) {  // up to 10 s
            const std::string bytes = testsupport::ReadFileBytes(marker);
            if (bytes != "<missing>" && !bytes.empty())
                return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()),
                                    bytes.size() / sizeof(wchar_t));
            ::Sleep(50);
        }
        return L"<not started>";
    }

    std::vector<std::wstring> folders_;
};

TEST_F(InstalledProgram, FixedRowStartsItsOwnExecutableInItsFolder) {
    const std::wstring folder = InstallProbe(L"pelmora-start-fixed", L"Pindrals.exe");
    const std::wstring key = Key(kNative, L"Pindral");
    Text(kNative, key, L"UninstallString", L"\"" + folder + L"\\uninstall.exe\"");
    StartInstalledProgram(2, L"Not used for row two");
    EXPECT_EQ(WaitForStart(folder), folder + L"\\Pindrals.exe\n" + folder);
}

TEST_F(InstalledProgram, NamedRowIsFoundInThe32BitView) {
    const std::wstring folder = InstallProbe(L"pelmora-start-named", L"PelmoraTest Probe.exe");
    const std::wstring key = Key(kWow32, L"PelmoraTest Probe");
    Text(kWow32, key, L"UninstallString", folder + L"\\uninst.exe");
    StartInstalledProgram(7, L"PelmoraTest Probe");
    EXPECT_EQ(WaitForStart(folder), folder + L"\\PelmoraTest Probe.exe\n" + folder);
}

}  // namespace
}  // namespace pelmora
