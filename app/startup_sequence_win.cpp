// The main window's start-up: everything between the window's creation and
// the list the user sees, in one fixed order on the window thread: the steps
// every start takes (app/startup), with the window's splash, prompts and
// painting. Every way out before the end closes the window by posting
// WM_CLOSE. The pictures then come beside the shown list, each shown as it
// arrives.
#include "app/pelmora_app_win.h"
#include "app/pelmora_dlg_win.h"
#include "app/self_update/self_update_start_win.h"
#include "app/self_update/self_version_check_win.h"
#include "app/settings/interface_language_win.h"
#include "catalogue/model/install_detection_win.h"
#include "download/sync/program_image_sync_win.h"
#include "download/transfer/download_failure_win.h"
#include "download/transfer/proxy_credentials_win.h"
#include "resource_ids.h"
#include "string_ids.h"
#include "ui/folder_message_win.h"
#include "ui/skin_win.h"
#include "ui/window_messages.h"
#include "win/prompt_win.h"
#include "win/diagnostics_win.h"
#include "win/handles_win.h"
#include "win/string_resources_win.h"
#include "win/text_win.h"

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
    // Ends with the start-up, whichever way it ends: what was not handed over is discarded.
    std::unique_ptr<Session::StartupFetches> prefetch = std::move(fetches_);
    StartupClock& clock = *clock_;
    prompt_ = MessageBoxPrompt(hwnd());
    AddAboutItem(hwnd());
    ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.get()));
    ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
    ::SetWindowTextW(hwnd(), kWindowTitle);
    skin_.Attach(hwnd(), !session_.Policy().userUpdates);

    if (!quietMode_) {
        // Closing the splash is leaving: the start-up ends and Pelmora with it.
        if (splash_.Open([] {
                EndProcess(L"[Pelmora]Splash closed: the start-up ends and Pelmora exits\n");
            }))
            win::Diag(L"[Pelmora]Splash shown\n");
    }

    if (!PrepareSettingsAndFolders()) return TRUE;
    clock.Mark(L"settings and folders");

    if (!prefetch) prefetch = std::make_unique<Session::StartupFetches>(session_);
    StartupSteps steps(session_, *this);
    if (steps.SelfVersion() == StartupStep::Close) {
        CloseDuringStartup();
        return TRUE;
    }
    clock.Mark(L"self-version check");

    // The catalogue's table, the quiet-mode decisions and the model databases.
    if (steps.Catalogue(table_, quietMode_ ? commandLine_ : std::wstring()) == StartupStep::Close) {
        win::Diag(L"[Pelmora]Start-up ends after the catalogue step; the window closes\n");
        CloseDuringStartup();
        return TRUE;
    }
    clock.Mark(L"catalogue");
    // The pictures need only the table: their round trips overlap the model
    // databases and the list's layout, and each is shown once the window
    // takes messages. Taken over while the start-up's early fetches (the
    // picture stamps among them) still live.
    win::Diag(L"[Pelmora]Pelmora, Image download Start!!\n");
    pictures_.Start(session_.PictureServer(), table_, hwnd(), WM_PROGRAM_PICTURES);
    steps.ModelDatabases();
    clock.Mark(L"model databases");

    skin_.LayOut();
    picture_.Attach(Item(IDC_PROGRAM_IMAGE), session_.LocalRoot());
    picture_.SetDpi(WindowDpi(hwnd()));
    workflow_.Bind(
        WorkflowWindow{hwnd(), Item(IDC_BTN_SETTING), Item(IDC_BTN_START), Item(IDC_BTN_CANCEL)});
    LayOutList();
    workflow_.FillList();
    MoveToBox(Item(IDC_PROGRAM_IMAGE), kProgramImageBox);
    clock.Mark(L"layout and list");

    if (table_.programCount > 0)  // what an earlier start kept; the sync may bring it later
        picture_.Show(win::ToWide(table_.records[0].nameEnglish), settings_.language);

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
        pictures_.ListShown();
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
    ReadSettings(settings_, session_.Policy().region);
    win::Diag(L"[Pelmora]Interface language " + std::to_wstring(settings_.language) +
              L", server region " + std::to_wstring(settings_.region) + L"\n");
    if (const DWORD error = StartupSteps::FoldersAndLog(session_); error != ERROR_SUCCESS) {
        CloseSplash();
        ReportFolderNotWritable(prompt_, session_.LocalRoot() + kPelmoraFolder, error, quietMode_);
        win::Diag(
            L"[Pelmora]Start-up ends: Pelmora's folder cannot be written; the window closes\n");
        CloseDuringStartup();
        return false;
    }
    StartupSteps::SweepEarlierRuns(session_);
    return true;
}

Prompt& CPelmoraDlg::Prompts() { return prompt_; }

bool CPelmoraDlg::AskProxyCredentials(const std::wstring& url) {
    return !quietMode_ && pelmora::AskProxyCredentials(splash_.IsOpen() ? splash_.hwnd() : hwnd(),
                                                       url, kSmallFileTimeoutMs);
}

void CPelmoraDlg::SelfVersionNotFetched(HRESULT fetched) {
    CloseSplash();
    if (IsLocalWriteFailure(fetched))  // the network is fine: say what is wrong here
        ReportFolderNotWritable(prompt_, SelfVersionFolder(session_), HRESULT_CODE(fetched),
                                quietMode_);
    else if (!quietMode_)
        prompt_.Show(win::LoadText(IDS_NO_INTERNET), MB_OK);
}

// On a difference the user may install the server's Pelmora, which then
// replaces this one.
StartupStep CPelmoraDlg::OnSelfVersion(SelfVersionState state, const std::wstring& offered) {
    if (state != SelfVersionState::Offered) return StartupStep::Continue;
    // The MSI owns its install: only the release's MSI may replace it.
    if (FindSelfInstall().msi && !SelfMsiOffered(session_)) {
        win::Diag(L"[Pelmora]Pelmora " + offered +
                  L" is offered; installed by its MSI, and the release offers no Pelmora.msi: "
                  L"not offered\n");
        return StartupStep::Continue;
    }
    CloseSplash();
    if (prompt_.Show(win::LoadText(IDS_SELF_UPDATE_FOUND), MB_YESNO) != IDYES)
        return StartupStep::Continue;
    return StartSelfUpdate(offered) ? StartupStep::Close : StartupStep::Continue;
}

// True when the server's installer runs and this Pelmora is closing for it;
// otherwise the start-up goes on with the catalogue.
bool CPelmoraDlg::StartSelfUpdate(const std::wstring& offered) {
    const SelfInstall install = FindSelfInstall();
    const FetchedInstaller installer =
        install.msi ? FetchSelfMsi(session_, offered) : FetchSelfInstaller(session_, offered);
    if (installer.path.empty()) {
        win::Diag(L"[Pelmora]No self-update; start-up goes on\n");
        return false;
    }
    // Declined elevation, a blocked start: say why and go on as without an update.
    if (const DWORD error = StartSelfInstaller(
            hwnd(), installer, session_.InstallerSigners(),
            install.msi ? std::optional(install.folder) : std::nullopt)) {
        prompt_.Show(SelfUpdateNotStartedText(error), MB_OK | MB_ICONSTOP);
        return false;
    }
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
