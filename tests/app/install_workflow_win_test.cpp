// The install-and-update workflow in the real main window: CPelmoraDlg runs
// modally on a thread of its own, exactly as in Pelmora.exe, against the test
// server and real uninstall keys, and the test thread uses it as a user
// would: ticks rows, presses buttons, answers message boxes, and reads what
// the list shows, the files on disk and the server's request log.
#include "app/pelmora_dlg_win.h"
#include "catalogue/model/safe_name.h"
#include "app/session/session_win.h"
#include "download/url/base_url_win.h"
#include "trust/sha256_win.h"
#include "resource_ids.h"
#include "string_ids.h"
#include "ui/list_ctrl_ex_win.h"
#include "win/files_win.h"
#include "win/string_resources_win.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shellapi.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/file_bytes_win.h"
#include "tests/support/screenshot_win.h"
#include "tests/support/test_root_win.h"
#include "tests/support/test_server_win.h"

namespace pelmora {
namespace {

const wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const LANGID kEnglish = 2057;

std::wstring Text(UINT id) { return win::LoadStringLang(id, kEnglish); }

bool WaitUntil(const std::function<bool()>& condition, int ms) {
    const ULONGLONG deadline = ::GetTickCount64() + ms;
    for (;;) {
        if (condition()) return true;
        if (::GetTickCount64() >= deadline) return false;
        ::Sleep(20);
    }
}

// A URL path as a request names it: blanks as %20.
std::string UrlPath(const std::wstring& path) {
    std::string out;
    for (wchar_t c : path)
        out += c == L' ' ? std::string("%20") : std::string(1, static_cast<char>(c));
    return out;
}

void SetUninstallValues(const std::wstring& name, const std::wstring& version) {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kUninstall + name).c_str(), 0, nullptr, 0,
                          KEY_WRITE | KEY_WOW64_64KEY, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    ::RegSetValueExW(key, L"DisplayVersion", 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(version.c_str()),
                     static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
}

void RemoveUninstallKey(const std::wstring& name) {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, (kUninstall + name).c_str(), view, 0);
}

void RemoveTree(const std::wstring& folder) {
    std::wstring from = folder + L'\0';  // a list of one
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    ::SHFileOperationW(&op);
}

std::string Joined(const std::vector<std::wstring>& texts) {
    std::string out;
    for (const std::wstring& t : texts) out += "[" + std::string(t.begin(), t.end()) + "]";
    return out;
}

// Closes the editors that show a release note; returns how many.
int CloseNotepads() {
    std::vector<HWND> windows;
    ::EnumWindows(
        [](HWND wnd, LPARAM lp) -> BOOL {
            wchar_t title[256] = {};
            ::GetWindowTextW(wnd, title, 256);
            if (std::wstring(title).find(L"ReleaseNote") != std::wstring::npos &&
                ::IsWindowVisible(wnd))
                reinterpret_cast<std::vector<HWND>*>(lp)->push_back(wnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    for (HWND wnd : windows) ::PostMessageW(wnd, WM_CLOSE, 0, 0);
    return static_cast<int>(windows.size());
}

// A 2 x 2 picture as the image synchronisation stores them.
std::string TinyBitmap() {
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = 2;
    info.biHeight = 2;
    info.biPlanes = 1;
    info.biBitCount = 24;
    const std::string pixels(16, '\x7f');  // two rows of 6 bytes, each padded to 8
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    return std::string(reinterpret_cast<const char*>(&file), sizeof(file)) +
           std::string(reinterpret_cast<const char*>(&info), sizeof(info)) + pixels;
}

// The test installer, built beside this test program.
std::string TestInstallerBytes() {
    return testsupport::ReadBesideThisProgram(L"pelmora_test_installer.exe");
}

// CPelmoraDlg, modal on its own thread, as Pelmora.exe runs it.
class MainWindow {
  public:
    MainWindow() {
        thread_ = std::thread([this] {
            threadId_ = ::GetCurrentThreadId();
            // The window's files stay below the shared folder, though Wine's token is elevated.
            const std::unique_ptr<Session> session = Session::FromMachine("", "", false);
            CPelmoraDlg dialog(*session, false, L"");
            dialog.DoModal();
            ended_ = true;
        });
    }
    ~MainWindow() { Close(); }

    // The window once its start-up is over; null after 30 s.
    HWND Wait() {
        WaitUntil(
            [&] {
                window_ = Find();
                return window_ && ::IsWindowVisible(window_);
            },
            30000);
        return window_;
    }

    void Close() {
        if (!thread_.joinable()) return;
        if (window_) ::PostMessageW(window_, WM_CLOSE, 0, 0);
        // A box a failed test left open would keep the window's thread in it.
        WaitUntil(
            [&] {
                if (const HWND box = Box()) Answer(box, IDNO);
                return ended_.load();
            },
            30000);
        thread_.join();
        window_ = nullptr;
    }

    HWND hwnd() const { return window_; }
    HWND List() const { return ::GetDlgItem(window_, IDC_PROGRAM_LIST); }
    HWND Item(int id) const { return ::GetDlgItem(window_, id); }

    // ---- what a user does ---------------------------------------------------
    void Press(int id) const {
        ::PostMessageW(window_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                       reinterpret_cast<LPARAM>(Item(id)));
    }
    // A click on a button embedded in the list (View, Run, Install/Execute).
    bool PressRowButton(int id) const {
        const HWND button = ::GetDlgItem(List(), id);
        if (!button || !::IsWindowVisible(button)) return false;
        return ::PostMessageW(List(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                              reinterpret_cast<LPARAM>(button)) != FALSE;
    }
    void Tick(int row, bool ticked) const {
        LVITEMW item{};
        item.stateMask = LVIS_STATEIMAGEMASK;
        item.state = INDEXTOSTATEIMAGEMASK(ticked ? 2 : 1);
        ::SendMessageW(List(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    }
    // Space on the focused row, as the keyboard toggles a tick.
    void PressSpaceOn(int row) const {
        LVITEMW item{};
        item.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
        item.state = LVIS_FOCUSED | LVIS_SELECTED;
        ::SendMessageW(List(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
        ::SendMessageW(List(), WM_KEYDOWN, VK_SPACE, 0x00390001);
        ::SendMessageW(List(), WM_KEYUP, VK_SPACE, 0xC0390001);
    }

    // A mouse click on the row's name.
    void ClickRow(int row) const {
        RECT rect{};
        rect.left = LVIR_LABEL;
        ::SendMessageW(List(), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
        const LPARAM at = MAKELPARAM(rect.left + 30, (rect.top + rect.bottom) / 2);
        ::PostMessageW(List(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::PostMessageW(List(), WM_LBUTTONUP, 0, at);
    }

    // ---- what a user sees ----------------------------------------------------
    std::wstring Cell(int row, int column) const {
        wchar_t buffer[256] = {};
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = buffer;
        item.cchTextMax = 256;
        ::SendMessageW(List(), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
        return buffer;
    }
    std::vector<std::wstring> Column(int column) const {
        std::vector<std::wstring> texts;
        const int rows = static_cast<int>(::SendMessageW(List(), LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < rows; ++row) texts.push_back(Cell(row, column));
        return texts;
    }
    bool Ticked(int row) const {
        return (::SendMessageW(List(), LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK) >> 12) == 2;
    }
    bool BrowseMode() const {
        const auto styles = ::SendMessageW(List(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
        return (styles & LVS_EX_CHECKBOXES) && ::IsWindowVisible(Item(IDC_BTN_START)) &&
               !::IsWindowVisible(Item(IDC_BTN_CANCEL));
    }
    bool InstallMode() const {
        return ::IsWindowVisible(Item(IDC_BTN_CANCEL)) && !::IsWindowVisible(Item(IDC_BTN_START));
    }
    std::wstring WindowText(HWND wnd) const {
        wchar_t buffer[256] = {};
        ::GetWindowTextW(wnd, buffer, 256);
        return buffer;
    }
    // A visible button embedded in the list, or null.
    HWND RowButton(int id) const {
        const HWND button = ::GetDlgItem(List(), id);
        return button && ::IsWindowVisible(button) ? button : nullptr;
    }

    // A message box owned by the main window, or null.
    HWND Box() const {
        struct Search {
            HWND owner, found;
        } search{window_, nullptr};
        ::EnumThreadWindows(
            threadId_,
            [](HWND wnd, LPARAM lp) -> BOOL {
                auto* s = reinterpret_cast<Search*>(lp);
                wchar_t name[32] = {};
                ::GetClassNameW(wnd, name, 32);
                if (std::wstring(name) == L"#32770" && ::IsWindowVisible(wnd) &&
                    ::GetWindow(wnd, GW_OWNER) == s->owner) {
                    s->found = wnd;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }
    // A message box of the start-up, while the window is not shown yet.
    HWND WaitForStartupBox(int ms) {
        HWND box = nullptr;
        WaitUntil([&] { return (window_ = Find()) && (box = Box()) != nullptr; }, ms);
        return box;
    }
    HWND WaitForBox(int ms) const {
        HWND box = nullptr;
        WaitUntil([&] { return (box = Box()) != nullptr; }, ms);
        return box;
    }
    std::wstring BoxText(HWND box) const { return WindowText(::GetDlgItem(box, 0xFFFF)); }
    void Answer(HWND box, int button) const { ::PostMessageW(box, WM_COMMAND, button, 0); }

  private:
    HWND Find() const {
        HWND found = nullptr;
        ::EnumThreadWindows(
            threadId_,
            [](HWND wnd, LPARAM lp) -> BOOL {
                wchar_t title[64] = {};
                ::GetWindowTextW(wnd, title, 64);
                if (std::wstring(title) != L"Pelmora v1.3.2") return TRUE;
                *reinterpret_cast<HWND*>(lp) = wnd;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&found));
        return found;
    }

    std::thread thread_;
    std::atomic<DWORD> threadId_{0};
    std::atomic<bool> ended_{false};
    HWND window_ = nullptr;
};

// One program of the test catalogue.
struct Program {
    int id;
    std::wstring name;
    std::wstring version;
    bool listAlways = true;
    std::wstring extraFields = L"";  // after the twelfth, with their leading comma
};

class InstallWorkflowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls{sizeof(controls), 0xFF};
        ::InitCommonControlsEx(&controls);
    }

    void SetUp() override {
        ASSERT_TRUE(server_.Connect()) << "the test server fixture is not running";
        server_.Reset("/wf/");
        korvath_ = win::LocalRoot() + L"Korvath";
        RemoveTree(korvath_);
        testsupport::WriteFileMakingFolders(korvath_ + L"\\tools\\config.txt",
                                            "Language:English,Server:EUR");
        ::SetEnvironmentVariableW(L"PELMORA_BASE_URL", server_.Url(L"/wf/tools/").c_str());
        // The updater itself is up to date, for a start-up that checks it.
        server_.PutFile("/wf/tools/Pelmora.txt", "v1.3.2v");
        SetUninstallValues(L"Pelmora", L"1.3.2");
        keys_.push_back(L"Pelmora");
    }

    void TearDown() override {
        window_.reset();
        CloseNotepads();
        for (const std::wstring& key : keys_) RemoveUninstallKey(key);
        RemoveTree(korvath_);
        server_.Reset("/wf/");
    }

    // Publishes the catalogue; the installers live in /wf/pkg/<name>/ for
    // region EUR (the settings' region) and nowhere for the others.
    void Publish(const std::vector<Program>& programs) {
        std::wstring text = L"id,ko,en,zh,ja,version,list,image,hq,amr,eur,chna\n";
        for (const Program& p : programs) {
            const std::wstring folder = server_.Url(L"/wf/pkg/" + p.name);
            text += std::to_wstring(p.id) + L",k" + p.name + L"," + p.name + L",c,j," + p.version +
                    (p.listAlways ? L",TRUE," : L",FALSE,") + server_.Url(L"/wf/img") + L"," +
                    folder + L"," + server_.Url(L"/wf/amr") + L"," + folder + L"," +
                    server_.Url(L"/wf/chna") + p.extraFields + L"\n";
        }
        ASSERT_TRUE(server_.PutFile("/wf/tools/program_list.txt", testsupport::Utf16LeFile(text)));
    }
    void PublishInstaller(const std::wstring& name, const std::string& bytes,
                          const std::wstring& file = L"setup.exe") {
        ASSERT_TRUE(server_.PutFile(UrlPath(L"/wf/pkg/" + name + L"/" + file), bytes));
    }
    // The requests below `prefix`, whose blanks the requests carried as %20.
    std::string Log(const std::wstring& prefix) {
        std::string query;
        for (char c : UrlPath(prefix)) query += c == '%' ? std::string("%25") : std::string(1, c);
        return server_.Log(query);
    }

    MainWindow& Start() {
        window_ = std::make_unique<MainWindow>();
        return *window_;
    }
    MainWindow& Open() {
        window_ = std::make_unique<MainWindow>();
        EXPECT_NE(window_->Wait(), nullptr) << "the main window did not come up";
        return *window_;
    }

    std::wstring DownloadFolder(const std::wstring& name) const {
        return korvath_ + L"\\tools\\Pelmora\\downloaded_program\\" + name;
    }
    void Installed(const std::wstring& name, const std::wstring& version) {
        SetUninstallValues(name, version);
        keys_.push_back(name);
    }

    testsupport::TestServer server_;
    std::wstring korvath_;
    std::vector<std::wstring> keys_;
    std::unique_ptr<MainWindow> window_;
};

TEST_F(InstallWorkflowTest, StartFollowsTheTicksAndPassesOverLatestAndUnsafeRows) {
    Installed(L"Halvex", L"2.4.1");
    Publish({{1, L"Halvex", L"2.4.1"},
             {31, L"PelmoraWF Beta", L"1.0"},
             {32, L"AUX", L"1.0"},  // a device name: listed, never a file
             {33, L"PelmoraWF Gone", L"1.0", false}});  // not installed, not offered
    PublishInstaller(L"Halvex", "halvex installer");
    PublishInstaller(L"PelmoraWF Beta", std::string(300000, 'b'));
    server_.PutFile("/wf/pkg/PelmoraWF%20Beta/ReleaseNote.txt", "Beta 1.0: first release");
    MainWindow& w = Open();
    ASSERT_EQ(w.Column(1), (std::vector<std::wstring>{L"Halvex", L"PelmoraWF Beta", L"AUX"}));
    EXPECT_EQ(w.Column(2), (std::vector<std::wstring>{Text(IDS_STATUS_LATEST),
                                                      Text(IDS_STATUS_NOT_INSTALLED),
                                                      Text(IDS_STATUS_NOT_INSTALLED)}));

    // A click on a row shows that program's picture.
    const HWND picture = w.Item(IDC_PROGRAM_IMAGE);
    const auto shown = [&] { return ::SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0; };
    EXPECT_FALSE(shown());
    testsupport::WriteFileMakingFolders(
        korvath_ + L"\\tools\\Pelmora\\image\\PelmoraWF Beta\\en.bmp", TinyBitmap());
    w.ClickRow(1);
    EXPECT_TRUE(WaitUntil(shown, 5000));
    EXPECT_FALSE(w.Ticked(1));

    // Start is enabled exactly while a row is ticked, by mouse or keyboard.
    EXPECT_FALSE(::IsWindowEnabled(w.Item(IDC_BTN_START)));
    w.PressSpaceOn(1);
    EXPECT_TRUE(w.Ticked(1));
    EXPECT_TRUE(::IsWindowEnabled(w.Item(IDC_BTN_START)));
    w.PressSpaceOn(1);
    EXPECT_FALSE(::IsWindowEnabled(w.Item(IDC_BTN_START)));

    // The release note comes from the HQ folder with "/", into Korvath\tools.
    ASSERT_TRUE(w.PressRowButton(kViewButtonIdBase + 1));
    const std::wstring note = korvath_ + L"\\tools\\PelmoraWF BetaReleaseNote.txt";
    EXPECT_TRUE(WaitUntil([&] { return win::FileExists(note); }, 10000));
    EXPECT_EQ(testsupport::ReadFileBytes(note), "Beta 1.0: first release");
    EXPECT_NE(Log(L"/wf/pkg/PelmoraWF Beta/ReleaseNote.txt").find("GET"), std::string::npos);
    // Notepad shows it; the test closes it again.
    EXPECT_TRUE(WaitUntil([] { return CloseNotepads() > 0; }, 10000));
    // Without a note on the server and without an earlier copy: a clear message.
    ASSERT_TRUE(w.PressRowButton(kViewButtonIdBase + 0));
    HWND box = w.WaitForBox(15000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(w.BoxText(box), Text(IDS_DOWNLOAD_FAILED));
    w.Answer(box, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return !w.Box(); }, 5000));

    // No ticked row: nothing is fetched and the caption becomes "Back".
    w.Press(IDC_BTN_START);
    ASSERT_TRUE(WaitUntil([&] { return w.WindowText(w.Item(IDC_BTN_CANCEL)) == Text(IDS_BACK); },
                          5000));
    EXPECT_TRUE(w.InstallMode());
    EXPECT_EQ(Log(L"/wf/pkg/PelmoraWF Beta/setup"), "");
    w.Press(IDC_BTN_CANCEL);
    ASSERT_TRUE(WaitUntil([&] { return w.BrowseMode(); }, 2000));
    EXPECT_EQ(w.WindowText(w.Item(IDC_BTN_CANCEL)), Text(IDS_CANCEL));

    // A ticked Latest row and a ticked unsafe name are unticked and not fetched.
    w.Tick(0, true);
    w.Tick(1, true);
    w.Tick(2, true);
    EXPECT_TRUE(::IsWindowEnabled(w.Item(IDC_BTN_START)));
    w.Press(IDC_BTN_START);
    ASSERT_TRUE(WaitUntil([&] { return w.Cell(1, 2) == Text(IDS_STATUS_DOWNLOADED); }, 20000));
    ASSERT_TRUE(WaitUntil([&] { return w.WindowText(w.Item(IDC_BTN_CANCEL)) == Text(IDS_BACK); },
                          5000));
    EXPECT_FALSE(w.Ticked(0));
    EXPECT_FALSE(w.Ticked(2));
    EXPECT_EQ(w.Column(2), (std::vector<std::wstring>{Text(IDS_STATUS_LATEST),
                                                      Text(IDS_STATUS_DOWNLOADED),
                                                      Text(IDS_STATUS_NOT_INSTALLED)}));
    EXPECT_EQ(w.Cell(1, 4), L" 100 %");
    EXPECT_EQ(w.Cell(0, 4), L"");
    EXPECT_NE(w.RowButton(kInstallButtonIdBase + 1), nullptr);
    EXPECT_EQ(w.WindowText(w.RowButton(kInstallButtonIdBase + 1)), Text(IDS_INSTALL));
    EXPECT_EQ(w.RowButton(kInstallButtonIdBase + 0), nullptr);
    EXPECT_EQ(Log(L"/wf/pkg/Halvex/setup"), "");
    EXPECT_EQ(Log(L"/wf/pkg/AUX/"), "");
    EXPECT_EQ(testsupport::ReadFileBytes(DownloadFolder(L"PelmoraWF Beta") + L"\\setup.exe"),
              std::string(300000, 'b'));
    EXPECT_EQ(testsupport::ReadFileBytes(DownloadFolder(L"PelmoraWF Beta") + L"\\version.txt"),
              "1.0");
    EXPECT_FALSE(win::FileExists(DownloadFolder(L"Halvex") + L"\\version.txt"));
    testsupport::SaveWindowScreenshot(w.hwnd(), L"install_workflow_downloaded");
    EXPECT_EQ(w.Box(), nullptr);

    // Back: browse mode with freshly detected states.
    w.Press(IDC_BTN_CANCEL);
    ASSERT_TRUE(WaitUntil([&] { return w.BrowseMode(); }, 2000));
    EXPECT_EQ(w.Column(2), (std::vector<std::wstring>{Text(IDS_STATUS_LATEST),
                                                      Text(IDS_STATUS_NOT_INSTALLED),
                                                      Text(IDS_STATUS_NOT_INSTALLED)}));
    EXPECT_NE(w.RowButton(kRunButtonIdBase + 0), nullptr);
    EXPECT_NE(w.RowButton(kViewButtonIdBase + 2), nullptr);
}

TEST_F(InstallWorkflowTest, FailureAnsweredYesTwiceKeepsTheThirdAttemptAsUnderscoreTwo) {
    Publish({{41, L"PelmoraWF Gamma", L"3.1"}});
    PublishInstaller(L"PelmoraWF Gamma", TestInstallerBytes());
    ASSERT_TRUE(server_.SetRule("/wf/pkg/PelmoraWF%20Gamma/setup.exe", "status=500"));
    MainWindow& w = Open();
    w.Tick(0, true);
    w.Press(IDC_BTN_START);

    for (int attempt = 1; attempt <= 2; ++attempt) {
        HWND box = w.WaitForBox(20000);
        ASSERT_NE(box, nullptr) << "attempt " << attempt;
        EXPECT_EQ(w.BoxText(box), Text(IDS_DOWNLOAD_RETRY));
        EXPECT_FALSE(::IsWindowEnabled(w.hwnd()));  // modal: Cancel cannot be pressed behind it
        if (attempt == 2)
            server_.Control("GET", "/__control/clear?path=/wf/pkg/PelmoraWF%20Gamma/setup.exe");
        w.Answer(box, IDYES);
        ASSERT_TRUE(WaitUntil([&] { return w.Box() != box; }, 5000));
    }
    ASSERT_TRUE(WaitUntil([&] { return w.Cell(0, 2) == Text(IDS_STATUS_DOWNLOADED); }, 20000));
    const std::wstring folder = DownloadFolder(L"PelmoraWF Gamma");
    EXPECT_EQ(testsupport::ReadFileBytes(folder + L"\\_2setup.exe"), TestInstallerBytes());
    EXPECT_FALSE(win::FileExists(folder + L"\\setup.exe"));
    EXPECT_FALSE(win::FileExists(folder + L"\\_1setup.exe"));
    EXPECT_EQ(testsupport::ReadFileBytes(folder + L"\\version.txt"), "3.1");
    const std::string log = Log(L"/wf/pkg/PelmoraWF Gamma/");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3) << log;

    // The install button opens the file of retry number 2; this installer
    // ends without installing, and the row stays as it was.
    testsupport::WriteFileBytes(folder + L"\\no-install.txt", "");
    ASSERT_TRUE(w.PressRowButton(kInstallButtonIdBase + 0));
    const std::wstring ran = folder + L"\\ran.txt";
    // The installer may still be writing it: wait for the whole name.
    const auto ranName = [&] {
        const std::string bytes = testsupport::ReadFileBytes(ran);
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    };
    WaitUntil([&] { return ranName() == L"_2setup.exe"; }, 10000);
    EXPECT_EQ(ranName(), L"_2setup.exe");
    ::Sleep(1500);  // the installer has ended and its end has been posted
    EXPECT_EQ(w.Cell(0, 2), Text(IDS_STATUS_DOWNLOADED));
    ASSERT_NE(w.RowButton(kInstallButtonIdBase + 0), nullptr);
    EXPECT_EQ(w.WindowText(w.RowButton(kInstallButtonIdBase + 0)), Text(IDS_INSTALL));
}

TEST_F(InstallWorkflowTest, CancelWhileTheThirdOfFiveStallsIsBackInBrowseModeAtOnce) {
    const std::vector<std::wstring> names = {L"PelmoraWF One", L"PelmoraWF Two",
                                             L"PelmoraWF Three", L"PelmoraWF Four",
                                             L"PelmoraWF Five"};
    std::vector<Program> programs;
    for (int i = 0; i < 5; ++i) programs.push_back({51 + i, names[i], L"5.0"});
    Publish(programs);
    Installed(L"PelmoraWF Two", L"4.0");  // an update: setup_light.exe
    for (const auto& name : names) {
        PublishInstaller(name, std::string(200000, 'x'));
        PublishInstaller(name, std::string(200000, 'y'), L"setup_light.exe");
    }
    // The third transfer sends 100 kB, then nothing for 5 s, then the rest.
    ASSERT_TRUE(server_.SetRule("/wf/pkg/PelmoraWF%20Three/setup.exe",
                                "stall_after=100000&stall_ms=5000&after_stall=resume"));
    MainWindow& w = Open();
    for (int row = 0; row < 5; ++row) w.Tick(row, true);
    w.Press(IDC_BTN_START);
    ASSERT_TRUE(WaitUntil([&] { return w.Cell(2, 2) == Text(IDS_STATUS_DOWNLOADING); }, 20000))
        << Joined(w.Column(2));
    ::Sleep(1000);  // well into the stall
    EXPECT_EQ(w.Cell(2, 2), Text(IDS_STATUS_DOWNLOADING));
    EXPECT_EQ(w.Cell(3, 2), Text(IDS_STATUS_LOADING));
    EXPECT_EQ(w.Cell(4, 2), Text(IDS_STATUS_LOADING));
    const std::wstring stalledAt = w.Cell(2, 4);
    EXPECT_NE(stalledAt, L" 100 %");
    EXPECT_EQ(w.Column(4),
              (std::vector<std::wstring>{L" 100 %", L" 100 %", stalledAt, L" 0 %", L" 0 %"}));
    testsupport::SaveWindowScreenshot(w.hwnd(), L"install_workflow_stalled");

    const auto pressed = std::chrono::steady_clock::now();
    w.Press(IDC_BTN_CANCEL);
    ASSERT_TRUE(WaitUntil([&] { return w.BrowseMode(); }, 5000));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - pressed)
                        .count();
    std::printf("[ MEASURED ] Cancel to browse mode with a stalled transfer: %lld ms\n",
                static_cast<long long>(ms));
    EXPECT_LT(ms, 1000);

    const std::vector<std::wstring> detected = {
        Text(IDS_STATUS_NOT_INSTALLED), Text(IDS_STATUS_UPDATE), Text(IDS_STATUS_NOT_INSTALLED),
        Text(IDS_STATUS_NOT_INSTALLED), Text(IDS_STATUS_NOT_INSTALLED)};
    EXPECT_EQ(w.Column(2), detected);
    EXPECT_EQ(w.Column(4), std::vector<std::wstring>(5, L""));
    EXPECT_EQ(w.Box(), nullptr);
    EXPECT_NE(w.RowButton(kRunButtonIdBase + 1), nullptr);

    // Long after the stall has ended, the abandoned transfer has written
    // neither the list nor its file, and rows four and five were never fetched.
    ::Sleep(6000);
    EXPECT_EQ(w.Column(2), detected);
    EXPECT_EQ(w.Column(4), std::vector<std::wstring>(5, L""));
    EXPECT_EQ(w.Box(), nullptr);
    EXPECT_TRUE(w.BrowseMode());
    EXPECT_TRUE(win::FileExists(DownloadFolder(names[0]) + L"\\setup.exe"));
    EXPECT_TRUE(win::FileExists(DownloadFolder(names[1]) + L"\\setup_light.exe"));
    EXPECT_FALSE(win::FileExists(DownloadFolder(names[2]) + L"\\setup.exe"));
    EXPECT_EQ(testsupport::ReadFileBytes(DownloadFolder(names[2]) + L"\\version.txt"), "5.0");
    EXPECT_EQ(Log(L"/wf/pkg/PelmoraWF Four/"), "");
    EXPECT_EQ(Log(L"/wf/pkg/PelmoraWF Five/"), "");
    EXPECT_FALSE(win::FileExists(DownloadFolder(names[3]) + L"\\version.txt"));

    // A new run starts cleanly after the cancelled one.
    w.Tick(3, true);
    ASSERT_TRUE(::IsWindowEnabled(w.Item(IDC_BTN_START)));
    w.Press(IDC_BTN_START);
    ASSERT_TRUE(WaitUntil([&] { return w.Cell(3, 2) == Text(IDS_STATUS_DOWNLOADED); }, 20000));
    EXPECT_TRUE(win::FileExists(DownloadFolder(names[3]) + L"\\setup.exe"));
}

TEST_F(InstallWorkflowTest, ClosingDuringAStalledDownloadEndsTheWindowAtOnce) {
    Publish({{71, L"PelmoraWF Stuck", L"1.0"}});
    PublishInstaller(L"PelmoraWF Stuck", std::string(200000, 's'));
    ASSERT_TRUE(server_.SetRule("/wf/pkg/PelmoraWF%20Stuck/setup.exe",
                                "stall_after=1000&stall_ms=8000"));
    MainWindow& w = Open();
    w.Tick(0, true);
    w.Press(IDC_BTN_START);
    ASSERT_TRUE(WaitUntil([&] { return w.Cell(0, 2) == Text(IDS_STATUS_DOWNLOADING); }, 20000));
    ::Sleep(500);
    const auto closed = std::chrono::steady_clock::now();
    w.Close();  // WM_CLOSE, then the window's thread ends
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - closed)
                        .count();
    std::printf("[ MEASURED ] Close to the window's end with a stalled transfer: %lld ms\n",
                static_cast<long long>(ms));
    EXPECT_LT(ms, 1500);
    EXPECT_FALSE(win::FileExists(DownloadFolder(L"PelmoraWF Stuck") + L"\\setup.exe"));
}

TEST_F(InstallWorkflowTest, InstallOfRowSixRunsItsInstallerAndTheRowTurnsToExecute) {
    // Ids out of row order, and a dropped line, so rows and ids disagree.
    Publish({{61, L"PelmoraWF Dropped", L"1.0", false},
             {62, L"PelmoraWF R0", L"1.0"},
             {63, L"PelmoraWF R1", L"1.0"},
             {64, L"PelmoraWF R2", L"1.0"},
             {65, L"PelmoraWF R3", L"1.0"},
             {66, L"PelmoraWF R4", L"1.0"},
             {67, L"PelmoraWF R5", L"1.0"},
             {9, L"PelmoraWF Seven", L"7.0.1"}});
    keys_.push_back(L"PelmoraWF Seven");  // the installer makes it
    PublishInstaller(L"PelmoraWF Seven", TestInstallerBytes());
    PublishInstaller(L"PelmoraWF R5", TestInstallerBytes());
    MainWindow& w = Open();
    ASSERT_EQ(w.Cell(6, 1), L"PelmoraWF Seven");
    EXPECT_EQ(w.RowButton(kRunButtonIdBase + 6), nullptr);  // not installed yet
    w.Tick(5, true);
    w.Tick(6, true);
    w.Press(IDC_BTN_START);
    ASSERT_TRUE(WaitUntil([&] { return w.WindowText(w.Item(IDC_BTN_CANCEL)) == Text(IDS_BACK); },
                          20000));
    EXPECT_EQ(w.Cell(6, 2), Text(IDS_STATUS_DOWNLOADED));

    ASSERT_TRUE(w.PressRowButton(kInstallButtonIdBase + 6));
    ASSERT_TRUE(WaitUntil([&] { return w.Cell(6, 2) == Text(IDS_STATUS_LATEST); }, 15000));
    // Row six's installer ran, not row five's.
    EXPECT_TRUE(win::FileExists(DownloadFolder(L"PelmoraWF Seven") + L"\\ran.txt"));
    EXPECT_FALSE(win::FileExists(DownloadFolder(L"PelmoraWF R5") + L"\\ran.txt"));
    HWND execute = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (execute = w.RowButton(kInstallButtonIdBase + 6)) &&
                                       w.WindowText(execute) == Text(IDS_EXECUTE); },
                          5000));
    EXPECT_EQ(w.Cell(5, 2), Text(IDS_STATUS_DOWNLOADED));
    testsupport::SaveWindowScreenshot(w.hwnd(), L"install_workflow_execute");

    // Execute starts the installed tool in its folder.
    const std::wstring installed = DownloadFolder(L"PelmoraWF Seven") + L"\\installed";
    const std::wstring started = installed + L"\\started.txt";
    ASSERT_TRUE(w.PressRowButton(kInstallButtonIdBase + 6));
    // The tool may still be writing it: wait for the whole text, not the name alone.
    const auto startedText = [&] {
        const std::string bytes = testsupport::ReadFileBytes(started);
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    };
    const std::wstring expected = installed + L"\\PelmoraWF Seven.exe\n" + installed;
    WaitUntil([&] { return startedText() == expected; }, 10000);
    EXPECT_EQ(startedText(), expected);

    // Back: the row is detected as latest, and its Run button starts the same tool.
    w.Press(IDC_BTN_CANCEL);
    ASSERT_TRUE(WaitUntil([&] { return w.BrowseMode(); }, 2000));
    EXPECT_EQ(w.Cell(6, 2), Text(IDS_STATUS_LATEST));
    ::DeleteFileW(started.c_str());
    ASSERT_TRUE(w.PressRowButton(kRunButtonIdBase + 6));
    ASSERT_TRUE(WaitUntil([&] { return win::FileExists(started); }, 10000));
}

TEST_F(InstallWorkflowTest, DigestsGuardTheDownloadAndTheInstall) {
    const std::string installer = TestInstallerBytes();
    const std::string good = Sha256Hex(*Sha256Of(installer));
    const std::string bad = Sha256Hex(*Sha256Of(installer + "x"));
    Publish({{81, L"PelmoraWF Sum", L"1.0", true,
              L",setup_light.exe=sha256:" + std::wstring(bad.begin(), bad.end()) +
                  L",setup.exe=sha256:" + std::wstring(good.begin(), good.end())},
             {82, L"PelmoraWF Bad", L"1.0", true,
              L",setup.exe=sha256:" + std::wstring(bad.begin(), bad.end())}});
    PublishInstaller(L"PelmoraWF Sum", installer);
    PublishInstaller(L"PelmoraWF Bad", installer);
    MainWindow& w = Open();
    w.Tick(0, true);
    w.Tick(1, true);
    w.Press(IDC_BTN_START);

    // The second installer is not what the catalogue vouches for: a failed
    // download, and nothing of it is kept.
    HWND box = w.WaitForBox(20000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(w.BoxText(box), Text(IDS_DOWNLOAD_RETRY));
    w.Answer(box, IDNO);
    ASSERT_TRUE(WaitUntil([&] { return !w.Box(); }, 5000));
    EXPECT_EQ(w.Cell(0, 2), Text(IDS_STATUS_DOWNLOADED));
    EXPECT_EQ(w.Cell(1, 2), Text(IDS_STATUS_DOWNLOADING));
    const std::wstring badFolder = DownloadFolder(L"PelmoraWF Bad");
    EXPECT_FALSE(win::FileExists(badFolder + L"\\setup.exe"));
    EXPECT_FALSE(win::FileExists(badFolder + L"\\setup.exe.partial"));

    // The good one changes on disk after its download: Install refuses it.
    const std::wstring folder = DownloadFolder(L"PelmoraWF Sum");
    ASSERT_EQ(testsupport::ReadFileBytes(folder + L"\\setup.exe"), installer);
    ASSERT_TRUE(testsupport::WriteFileBytes(folder + L"\\setup.exe", installer + "tampered"));
    ASSERT_TRUE(w.PressRowButton(kInstallButtonIdBase + 0));
    box = w.WaitForBox(10000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(w.BoxText(box), Text(IDS_INSTALLER_CHANGED));
    w.Answer(box, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !w.Box(); }, 5000));
    EXPECT_EQ(w.Cell(0, 2), Text(IDS_STATUS_NOT_INSTALLED));
    EXPECT_EQ(w.RowButton(kInstallButtonIdBase + 0), nullptr);
    EXPECT_FALSE(win::FileExists(folder + L"\\setup.exe"));
    ::Sleep(1000);
    EXPECT_FALSE(win::FileExists(folder + L"\\ran.txt"));  // never started
}

std::wstring TemporaryFolder() {
    wchar_t path[MAX_PATH + 1] = {};
    return std::wstring(path, ::GetTempPathW(MAX_PATH + 1, path));
}

std::vector<std::wstring> Lines(const std::string& utf16) {
    std::vector<std::wstring> lines;
    std::wstring text(reinterpret_cast<const wchar_t*>(utf16.data()), utf16.size() / 2);
    for (size_t end; (end = text.find(L'\n')) != std::wstring::npos; text.erase(0, end + 1))
        lines.push_back(text.substr(0, end));
    return lines;
}

TEST_F(InstallWorkflowTest, InstallPressedThriceRunsOnePrivateCopyOfTheInstaller) {
    // What an earlier run left below the temporary folder goes at the start;
    // a folder named like it but without Pelmora's marker is someone else's.
    const std::wstring temporary = TemporaryFolder();
    const std::wstring left = temporary + L"Pelmora-installer-1-2-3";
    ASSERT_TRUE(testsupport::WriteFileMakingFolders(left + L"\\Old\\setup.exe", "old"));
    ASSERT_TRUE(testsupport::WriteFileMakingFolders(left + L"\\made-by-pelmora", ""));
    const std::wstring planted = temporary + L"Pelmora-installer-4-5-6";
    ASSERT_TRUE(testsupport::WriteFileMakingFolders(planted + L"\\Old\\setup.exe", "planted"));
    Publish({{91, L"PelmoraWF Once", L"2.0"}});
    keys_.push_back(L"PelmoraWF Once");  // the installer registers it
    RemoveUninstallKey(L"PelmoraWF Once");
    PublishInstaller(L"PelmoraWF Once", TestInstallerBytes());
    MainWindow& w = Open();
    EXPECT_EQ(::GetFileAttributesW(left.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(testsupport::ReadFileBytes(planted + L"\\Old\\setup.exe"), "planted");
    for (const std::wstring& made : {planted + L"\\Old\\setup.exe", planted + L"\\Old", planted})
        ::DeleteFileW(made.c_str()) || ::RemoveDirectoryW(made.c_str());
    w.Tick(0, true);
    w.Press(IDC_BTN_START);
    ASSERT_TRUE(WaitUntil([&] { return w.Cell(0, 2) == Text(IDS_STATUS_DOWNLOADED); }, 20000));

    for (int press = 0; press < 3; ++press)
        ASSERT_TRUE(w.PressRowButton(kInstallButtonIdBase + 0));
    ASSERT_TRUE(WaitUntil([&] { return w.Cell(0, 2) == Text(IDS_STATUS_LATEST); }, 15000));
    ::Sleep(1000);  // a second installer would have written by now
    const std::wstring folder = DownloadFolder(L"PelmoraWF Once");
    const std::vector<std::wstring> runs =
        Lines(testsupport::ReadFileBytes(folder + L"\\ran-from.txt"));
    ASSERT_EQ(runs.size(), 1u);
    // It ran from a fresh folder of its own below the user's temporary
    // folder, that folder its working folder; the download stays as it was.
    const std::wstring path = runs[0].substr(0, runs[0].find(L'|'));
    const std::wstring working = runs[0].substr(path.size() + 1);
    EXPECT_EQ(path.rfind(temporary + L"Pelmora-installer-", 0), 0u) << path;
    EXPECT_EQ(working + L"\\setup.exe", path);
    EXPECT_NE(path.find(L"\\PelmoraWF Once\\setup.exe"), std::wstring::npos) << path;
    EXPECT_EQ(testsupport::ReadFileBytes(folder + L"\\setup.exe"), TestInstallerBytes());
}

TEST_F(InstallWorkflowTest, ASelfUpdateThatCannotStartSaysWhyAndTheListComes) {
    Publish({{92, L"PelmoraWF After", L"1.0"}});
    // A newer Pelmora whose installer is no program: its start fails.
    server_.PutFile("/wf/tools/Pelmora.txt", "v1.4.0v");
    server_.PutFile("/wf/tools/Pelmora/setup.exe", "not a program");
    MainWindow& w = Start();
    HWND box = w.WaitForStartupBox(30000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(w.BoxText(box), Text(IDS_SELF_UPDATE_FOUND));
    w.Answer(box, IDYES);
    ASSERT_TRUE(WaitUntil([&] { return w.Box() && w.Box() != box; }, 20000));
    box = w.Box();
    const std::wstring said = w.BoxText(box);
    EXPECT_EQ(said.rfind(Text(IDS_SELF_UPDATE_NOT_STARTED), 0), 0u) << said;
    EXPECT_GT(said.size(), Text(IDS_SELF_UPDATE_NOT_STARTED).size() + 2) << "and the reason";
    w.Answer(box, IDOK);
    ASSERT_NE(w.Wait(), nullptr) << "the start-up went on";
    EXPECT_EQ(w.Cell(0, 1), L"PelmoraWF After");
}

}  // namespace
}  // namespace pelmora

namespace pelmora {
namespace {

// What the list shows in a cell, read back from the screen: how many pixels
// are red, blue and grey text.
struct CellColours {
    int red = 0, blue = 0, grey = 0;
};

CellColours ReadCellColours(HWND list, int row, int column) {
    RECT cell{};
    cell.top = column;
    cell.left = LVIR_BOUNDS;
    ::SendMessageW(list, LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(&cell));
    ::RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    const int width = cell.right - cell.left, height = cell.bottom - cell.top;
    CellColours colours;
    if (width <= 0 || height <= 0) return colours;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB};
    void* bits = nullptr;
    const HDC screen = ::GetDC(list);
    const HDC memory = ::CreateCompatibleDC(screen);
    const HBITMAP bitmap = ::CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, cell.left, cell.top, SRCCOPY);
    ::GdiFlush();
    const auto* pixel = static_cast<const uint32_t*>(bits);
    for (int i = 0; i < width * height; ++i) {
        const int r = (pixel[i] >> 16) & 0xFF, g = (pixel[i] >> 8) & 0xFF, b = pixel[i] & 0xFF;
        if (r > 160 && g < 96 && b < 96) ++colours.red;
        if (b > 160 && r < 96 && g < 96) ++colours.blue;
        if (r == g && g == b && r >= 96 && r <= 160) ++colours.grey;
    }
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(list, screen);
    return colours;
}

// Each window's list has a live 1 x 25 row image list, also after an
// earlier window (and its list) is gone; the status column shows red, blue
// and grey by state, as the screen shows it.
TEST_F(InstallWorkflowTest, StatusColoursOnScreenAndARowImageListForEveryWindow) {
    Installed(L"PelmoraWF Old", L"0.9");
    Installed(L"PelmoraWF Cur", L"2.0");
    Publish({{41, L"PelmoraWF New", L"1.0"},
             {42, L"PelmoraWF Old", L"1.0"},
             {43, L"PelmoraWF Cur", L"2.0"}});
    for (int window = 0; window < 2; ++window) {
        SCOPED_TRACE(window);
        MainWindow& w = Open();
        ASSERT_EQ(w.Column(2),
                  (std::vector<std::wstring>{Text(IDS_STATUS_NOT_INSTALLED),
                                             Text(IDS_STATUS_UPDATE), Text(IDS_STATUS_LATEST)}));
        const auto images = reinterpret_cast<HIMAGELIST>(
            ::SendMessageW(w.List(), LVM_GETIMAGELIST, LVSIL_SMALL, 0));
        int cx = 0, cy = 0;
        EXPECT_TRUE(images && ::ImageList_GetIconSize(images, &cx, &cy));
        EXPECT_EQ(cy, 25);
        RECT row{};
        row.left = LVIR_BOUNDS;
        ::SendMessageW(w.List(), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
        EXPECT_GE(row.bottom - row.top, 25);

        const CellColours notInstalled = ReadCellColours(w.List(), 0, 2);
        const CellColours update = ReadCellColours(w.List(), 1, 2);
        const CellColours latest = ReadCellColours(w.List(), 2, 2);
        const CellColours name = ReadCellColours(w.List(), 0, 1);
        EXPECT_GT(notInstalled.red, 5);
        EXPECT_EQ(notInstalled.blue, 0);
        EXPECT_GT(update.blue, 5);
        EXPECT_EQ(update.red, 0);
        EXPECT_GT(latest.grey, 5);
        EXPECT_EQ(latest.red + latest.blue, 0);
        EXPECT_EQ(name.red + name.blue, 0);  // other columns are black
        if (window == 0) testsupport::SaveWindowScreenshot(w.hwnd(), L"status_colours");
        window_.reset();
    }
}

// English names are limited to what the deepest path below this machine's
// root allows: a name at the limit is downloaded and installed through the
// workflow; one character more is listed but never becomes a path.
TEST_F(InstallWorkflowTest, NameAtThePathLimitIsDownloadedAndInstalled) {
    const size_t limit = NameLengthLimit(win::LocalRoot().size());
    ASSERT_GT(limit, 100u);
    ASSERT_LT(limit, kMaxSafeNameLength);
    const std::wstring atLimit = L"PelmoraWF " + std::wstring(limit - 10, L'L');
    const std::wstring tooLong = L"PelmoraWF " + std::wstring(limit - 9, L'M');
    Publish({{71, atLimit, L"1.0"}, {72, tooLong, L"1.0"}});
    keys_.push_back(atLimit);  // the installer makes it
    PublishInstaller(atLimit, TestInstallerBytes());
    PublishInstaller(tooLong, TestInstallerBytes());
    MainWindow& w = Open();
    ASSERT_EQ(w.Column(1), (std::vector<std::wstring>{atLimit, tooLong}));
    w.Tick(0, true);
    w.Tick(1, true);
    w.Press(IDC_BTN_START);
    ASSERT_TRUE(WaitUntil([&] { return w.WindowText(w.Item(IDC_BTN_CANCEL)) == Text(IDS_BACK); },
                          20000));
    ASSERT_EQ(w.Cell(0, 2), Text(IDS_STATUS_DOWNLOADED));
    EXPECT_TRUE(win::FileExists(DownloadFolder(atLimit) + L"\\setup.exe"));
    EXPECT_EQ(::GetFileAttributesW(DownloadFolder(tooLong).c_str()), INVALID_FILE_ATTRIBUTES);

    ASSERT_TRUE(w.PressRowButton(kInstallButtonIdBase + 0));
    ASSERT_TRUE(WaitUntil([&] { return w.Cell(0, 2) == Text(IDS_STATUS_LATEST); }, 15000))
        << "the installer at the deepest path ran and registered the program";
    EXPECT_TRUE(win::FileExists(DownloadFolder(atLimit) + L"\\ran.txt"));
}

// A large file written in pieces, never held whole in memory.
bool WriteLargeFile(const std::wstring& path, uint64_t bytes) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const std::string piece(1 << 20, 'L');
    bool ok = true;
    for (uint64_t left = bytes; ok && left > 0; left -= piece.size()) {
        DWORD written = 0;
        ok = ::WriteFile(file, piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr) &&
             written == piece.size();
    }
    ::CloseHandle(file);
    return ok;
}

// Hashes of large files (seconds each) never hold up the window: Start right
// after Cancel during the check of a large earlier download gives a running
// worker, and Install's re-check shows the row as checking while it runs.
TEST_F(InstallWorkflowTest, LargeHashesNeitherStrandAStartNorFreezeTheWindow) {
    const std::string installer = TestInstallerBytes();
    const std::string good = Sha256Hex(*Sha256Of(installer));
    Publish({{85, L"PelmoraWF Large", L"3.0", true,
              L",setup.exe=sha256:" + std::wstring(good.begin(), good.end())}});
    PublishInstaller(L"PelmoraWF Large", installer);
    const std::wstring folder = DownloadFolder(L"PelmoraWF Large");
    const std::wstring setup = folder + L"\\setup.exe";
    // An earlier download of this version that no longer matches: about 6 s to hash.
    testsupport::WriteFileMakingFolders(folder + L"\\version.txt", "3.0");
    ASSERT_TRUE(WriteLargeFile(setup, 1ull << 30));

    MainWindow& w = Open();
    w.Tick(0, true);
    w.Press(IDC_BTN_START);
    ASSERT_TRUE(WaitUntil([&] { return w.Cell(0, 2) == Text(IDS_STATUS_DOWNLOADING); }, 20000));
    ::Sleep(300);  // well into the hash
    w.Press(IDC_BTN_CANCEL);
    ASSERT_TRUE(WaitUntil([&] { return w.BrowseMode(); }, 3000));
    w.Tick(0, true);
    const auto pressed = std::chrono::steady_clock::now();
    w.Press(IDC_BTN_START);
    ASSERT_TRUE(WaitUntil([&] { return w.InstallMode(); }, 3000));
    std::printf("[ MEASURED ] Start after Cancel during a hash, to install mode: %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - pressed)
                                           .count()));
    // The new worker checks the earlier download again, then fetches it afresh.
    ASSERT_TRUE(WaitUntil([&] { return w.Cell(0, 2) == Text(IDS_STATUS_DOWNLOADED); }, 90000))
        << Joined(w.Column(2));
    EXPECT_EQ(w.Box(), nullptr);
    ASSERT_EQ(testsupport::ReadFileBytes(setup), installer);

    // Changed on disk into something large: the row says it is checking while
    // the window goes on answering, then Install refuses it.
    ASSERT_TRUE(WriteLargeFile(setup, 1ull << 30));
    ASSERT_TRUE(w.PressRowButton(kInstallButtonIdBase + 0));
    ASSERT_TRUE(WaitUntil([&] { return w.Cell(0, 2) == Text(IDS_STATUS_CHECKING); }, 3000))
        << Joined(w.Column(2));
    ASSERT_TRUE(w.PressRowButton(kInstallButtonIdBase + 0));  // refused while checking
    DWORD_PTR answer = 0;
    EXPECT_TRUE(::SendMessageTimeoutW(w.hwnd(), WM_NULL, 0, 0, SMTO_BLOCK, 1000, &answer));
    const HWND box = w.WaitForBox(90000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(w.BoxText(box), Text(IDS_INSTALLER_CHANGED));
    w.Answer(box, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !w.Box(); }, 5000));
    ::Sleep(500);
    EXPECT_EQ(w.Box(), nullptr);  // the second click started no second check
    EXPECT_FALSE(win::FileExists(setup));
    EXPECT_EQ(w.Cell(0, 2), Text(IDS_STATUS_NOT_INSTALLED));
}


}  // namespace
}  // namespace pelmora
