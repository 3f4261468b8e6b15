// The main window's start-up: everything between the window's creation and
// the list the user sees, in one fixed order on the window thread. Every way
// out before the end closes the window by posting WM_CLOSE. The pictures
// then come beside the shown list, each shown as it arrives.
#include "app/settings/interface_language_win.h"
#include "app/pelmora_app_win.h"
#include "app/pelmora_dlg_win.h"
#include "app/self_update/self_update_start_win.h"
#include "app/self_update/self_version_check_win.h"
#include "app/startup_clock_win.h"
#include "catalogue/model/install_detection_win.h"
#include "win/local_text_win.h"
#include "download/worker/private_installer_copy_win.h"
#include "catalogue/workflow/program_table_defaults_win.h"
#include "catalogue/model/self_version.h"
#include "download/url/base_url_win.h"
#include "download/transfer/download_failure_win.h"
#include "download/transfer/download_to_file_win.h"
#include "download/transfer/proxy_credentials_win.h"
#include "trust/installer_digest_win.h"
#include "download/release/release_check_win.h"
#include "download/sync/stale_files_win.h"
#include "download/sync/sync_defaults_win.h"
#include "resource_ids.h"
#include "string_ids.h"
#include "ui/folder_message_win.h"
#include "ui/skin_win.h"
#include "ui/window_messages.h"
#include "win/prompt_win.h"
#include "win/diagnostics_win.h"
#include "win/files_win.h"
#include "win/folder_check_win.h"
#include "win/string_resources_win.h"
#include "win/text_win.h"

#include <shellapi.h>

namespace pelmora {
namespace {

void AddAboutItem(HWND window) {
    HMENU menu = ::GetSystemMenu(window, FALSE);
    const std::wstring about = win::LoadText(IDS_ABOUTBOX);
    if (!menu || about.empty()) return;
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, about.c_str());
}

bool SettingsFileExists() {
    // A folder in its place cannot be mended by the dialog: asking at every start would not help.
    const DWORD attributes = ::GetFileAttributesW(SettingsFilePath().c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        win::Diag(L"[Pelmora]Settings file is a folder: " + SettingsFilePath() +
                  L"; the detected language is used and the settings dialog is not opened\n");
        return true;
    }
    const win::File file(::CreateFileW(SettingsFilePath().c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file);
}

}  // namespace

BOOL CPelmoraDlg::OnInitDialog() {
    clock_ = std::make_unique<StartupClock>();
    StartupClock& clock = *clock_;
    AddAboutItem(hwnd());
    ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.get()));
    ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
    ::SetWindowTextW(hwnd(), kWindowTitle);
    skin_.Attach(hwnd());

    if (!quietMode_) {
        // Closing the splash is leaving: the start-up ends and Pelmora with it.
        if (splash_.Open([] {
                EndProcess(L"[Pelmora]Splash closed: the start-up ends and Pelmora exits\n");
            }))
            win::Diag(L"[Pelmora]Splash shown\n");
    }

    if (!PrepareSettingsAndFolders()) return TRUE;
    clock.Mark(L"settings and folders");

    const StartupPrefetchScope prefetch;
    if (!CheckSelfVersion()) return TRUE;
    clock.Mark(L"self-version check");

    // The catalogue's table, the quiet-mode decisions and the model databases.
    if (LoadProgramCatalogue(hwnd(), quietMode_ ? commandLine_ : std::wstring(),
                             [this] { CloseSplash(); }, table_) == StartupStep::Close) {
        win::Diag(L"[Pelmora]Start-up ends after the catalogue step; the window closes\n");
        CloseDuringStartup();
        return TRUE;
    }
    clock.Mark(L"catalogue and model databases");

    skin_.LayOut();
    picture_.Attach(Item(IDC_PROGRAM_IMAGE));
    workflow_.Bind(
        WorkflowWindow{hwnd(), Item(IDC_BTN_SETTING), Item(IDC_BTN_START), Item(IDC_BTN_CANCEL)});
    LayOutList();
    workflow_.FillList();
    MoveToBox(Item(IDC_PROGRAM_IMAGE), kProgramImageBox);
    clock.Mark(L"layout and list");

    if (table_.programCount > 0)  // what an earlier start kept; the sync may bring it later
        picture_.Show(win::ToWide(table_.records[0].nameEnglish), settings_.language);

    // Taken over while the start-up's early fetches (the picture stamps among them) still live.
    win::Diag(L"[Pelmora]Pelmora, Image download Start!!\n");
    pictures_.Start(PictureServerFiles(), table_, hwnd(), WM_PROGRAM_PICTURES);

    win::Diag(L"[Pelmora]Pelmora, 최초 실행시에 환경설정 dialog 띄워줌!!\n");
    if (!SettingsFileExists()) {
        win::Diag(L"[Pelmora]First run: settings dialog\n");
        OnSettingsCommand();  // the splash is still up
    }

    CloseSplash();
    ::SetWindowPos(hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    clock.Mark(L"list ready", table_.programCount);
    // Marked once the window is shown and its loop takes input.
    ::PostMessageW(hwnd(), WM_PROGRAM_PICTURES, kListShown, 0);
    return TRUE;
}

void CPelmoraDlg::OnProgramPictures(WPARAM what) {
    if (what == kListShown) {
        if (clock_) clock_->Mark(L"list shown");
        return;
    }
    bool finished = false;
    for (const std::wstring& path : pictures_.Take(finished))
        picture_.Arrived(path);
    if (finished && clock_) clock_->Mark(L"pictures complete");
}

// The settings, Pelmora's folders and the log in them, and what earlier runs
// left behind. False when Pelmora's folder cannot be written: the window closes.
bool CPelmoraDlg::PrepareSettingsAndFolders() {
    ReadSettings(settings_);
    win::Diag(L"[Pelmora]Interface language " + std::to_wstring(settings_.language) +
              L", server region " + std::to_wstring(settings_.region) + L"\n");
    for (const wchar_t* folder : {L"Korvath", L"Korvath\\tools", L"Korvath\\tools\\Pelmora"})
        win::EnsureFolder(win::LocalRoot() + folder);
    // Without its own folder Pelmora can keep nothing: a local fault, said as such.
    const std::wstring ownFolder = win::LocalRoot() + kPelmoraFolder;
    if (const DWORD error = win::FolderWriteError(ownFolder); error != ERROR_SUCCESS) {
        CloseSplash();
        MessageBoxPrompt prompt(hwnd());
        ReportFolderNotWritable(prompt, ownFolder, error, quietMode_);
        win::Diag(
            L"[Pelmora]Start-up ends: Pelmora's folder cannot be written; the window closes\n");
        CloseDuringStartup();
        return false;
    }
    win::KeepLogIn(ownFolder);
    RemoveStaleDownloads(win::LocalRoot());
    RemovePrivateInstallerFolders();
    if (MakerKey())
        win::Diag(L"[Pelmora]Maker's key built in: only files the signed release lists\n");
    return true;
}

// The self-version file against Pelmora's own uninstall key; on a difference
// the user may install the server's Pelmora, which then replaces this one.
bool CPelmoraDlg::CheckSelfVersion() {
    const HRESULT fetched =
        FetchSelfVersionFile(StartupDownloader(), [this](const std::wstring& url) {
            if (quietMode_ ||
                !AskProxyCredentials(splash_.IsOpen() ? splash_.hwnd() : hwnd(), url,
                                     kSmallFileTimeoutMs))
                return false;
            ProxyCredentialsGiven();
            return true;
        });
    if (fetched != S_OK) {
        CloseSplash();
        MessageBoxPrompt prompt(hwnd());
        if (IsLocalWriteFailure(fetched))  // the network is fine: say what is wrong here
            ReportFolderNotWritable(prompt, SelfVersionFolder(), HRESULT_CODE(fetched), quietMode_);
        else if (!quietMode_)
            prompt.Show(win::LoadText(IDS_NO_INTERNET), MB_OK);
        CloseDuringStartup();
        return false;
    }
    const std::optional<std::wstring> offered = OfferedSelfVersion();
    if (!offered || !SelfUpdateAvailable(*offered)) return true;
    CloseSplash();
    if (MessageBoxPrompt(hwnd()).Show(win::LoadText(IDS_SELF_UPDATE_FOUND), MB_YESNO) != IDYES)
        return true;
    return !StartSelfUpdate();
}

// True when the server's installer runs and this Pelmora is closing for it;
// otherwise the start-up goes on with the catalogue.
bool CPelmoraDlg::StartSelfUpdate() {
    const SelfInstaller installer = FetchSelfInstaller();
    if (installer.result != S_OK) {
        win::Diag(L"[Pelmora]No self-update; start-up goes on\n");
        return false;
    }
    // Declined elevation, a blocked start: say why and go on as without an update.
    if (const DWORD error = StartSelfInstaller(hwnd(), installer.path, installer.digest)) {
        MessageBoxPrompt(hwnd()).Show(SelfUpdateNotStartedText(error), MB_OK | MB_ICONSTOP);
        return false;
    }
    CloseDuringStartup();
    return true;
}

void CPelmoraDlg::LayOutList() {
    list_.Attach(Item(IDC_PROGRAM_LIST));
    MoveToBox(list_.hwnd(), kListBrowseBox);
    list_.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    ::EnableWindow(list_.GetHeaderCtrl(), FALSE);
    // The list font (Tahoma 13) is the skin's, set by its layout.
}

void CPelmoraDlg::CloseSplash() noexcept { splash_.Close(); }

void CPelmoraDlg::CloseDuringStartup() {
    CloseSplash();
    ::PostMessageW(hwnd(), WM_CLOSE, 0, 0);
}

}  // namespace pelmora
