#include "app/main_window/install_workflow_win.h"

#include "app/main_window/installer_watch_win.h"
#include "catalogue/model/catalogue_parser.h"
#include "catalogue/model/install_detection_win.h"
#include "catalogue/model/program_table.h"
#include "catalogue/model/safe_name.h"
#include "catalogue/workflow/program_table_win.h"
#include "download/release/fetch_as_released_win.h"
#include "download/sync/program_image_sync_win.h"
#include "download/transfer/download_failure_win.h"
#include "download/transfer/download_to_file_win.h"
#include "download/worker/package_files.h"
#include "app/self_update/self_update_start_win.h"
#include "download/worker/private_installer_copy_win.h"
#include "string_ids.h"
#include "trust/authenticode_win.h"
#include "trust/installer_digest_win.h"
#include "ui/folder_message_win.h"
#include "ui/skin_win.h"
#include "ui/window_messages.h"
#include "win/diagnostics_win.h"
#include "win/files_win.h"
#include "win/process_win.h"
#include "win/prompt_win.h"
#include "win/stdio_file_ex_win.h"
#include "win/string_resources_win.h"
#include "win/text_win.h"

#include <commctrl.h>

#include <optional>
#include <vector>

namespace pelmora {
namespace {

constexpr DWORD kBrowseStyles = LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT;
constexpr DWORD kInstallStyles = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kGrey = RGB(128, 128, 128);

UINT StatusTextId(InstallState state) {
    switch (state) {
    case NotInstalled: return IDS_STATUS_NOT_INSTALLED;
    case UpdateAvailable: return IDS_STATUS_UPDATE;
    case Latest: return IDS_STATUS_LATEST;
    case Queued: return IDS_STATUS_LOADING;
    case Downloading: return IDS_STATUS_DOWNLOADING;
    case Downloaded: return IDS_STATUS_DOWNLOADED;
    default: return 0;
    }
}

COLORREF StatusColour(InstallState state, COLORREF otherwise) {
    switch (state) {
    case NotInstalled:
    case Downloaded: return kRed;
    case UpdateAvailable:
    case Downloading: return kBlue;
    case Latest:
    case Queued: return kGrey;
    default: return otherwise;
    }
}

const std::u16string& NameInLanguage(const ProgramRecord& record, int language) {
    switch (language) {
    case Korean: return record.nameKorean;
    case Chinese: return record.nameChinese;
    case Japanese: return record.nameJapanese;
    default: return record.nameEnglish;
    }
}

}  // namespace

// A name from the server that cannot be one file name gets no file and no start.
bool InstallWorkflow::UsableName(const ProgramRecord& record, const wchar_t* what) const {
    return SafeProgramName(win::ToWide(record.nameEnglish), what, table_.nameLengthLimit);
}

std::optional<Sha256Digest> InstallWorkflow::DigestFor(const ProgramRecord& record,
                                                       int region) const {
    return InstallerDigest(
        session_.Release().get(),
        win::ToWide(PackageUrl(record.packageLocation[RegionOrHq(region)], record.setupFile)),
        ExpectedInstallerDigest(record));
}

InstallWorkflow::~InstallWorkflow() { Shutdown(); }

// ---- browse mode -----------------------------------------------------------------

void InstallWorkflow::FillList() {
    const CListCtrlEx::Batch batch(list_);  // the list changes whole, then repaints once
    list_.DeleteAllItems();
    for (int columns = list_.GetColumnCount(); columns > 0; --columns) list_.DeleteColumn(0);
    list_.SetRowHeight(kListRowHeight);  // through a 1-pixel-wide image list the wrapper owns
    list_.InsertColumn(0, L" ", LVCFMT_LEFT, kListCheckColumn);
    list_.InsertColumn(1, win::LoadText(IDS_PROGRAM_NAME), LVCFMT_LEFT, kListNameColumn);
    list_.InsertColumn(2, win::LoadText(IDS_STATUS), LVCFMT_CENTER, kListStatusColumn);
    list_.InsertColumn(3, L"Release Note", LVCFMT_CENTER, kListNoteColumn);
    list_.InsertColumn(4, L"Run", LVCFMT_CENTER, kListRunColumn);
    list_.DestroyViewButtons();
    list_.DestroyRunButtons();
    for (int row = 0; row < table_.programCount; ++row) {
        const ProgramRecord& record = table_.records[row];
        list_.InsertItem(row, L"");
        list_.SetItemText(row, 1, win::ToWide(NameInLanguage(record, settings_.language)));
        if (const UINT id = StatusTextId(record.state); id && record.state <= Latest)
            list_.SetItemText(row, 2, win::LoadText(id));
        if (record.state == UpdateAvailable || record.state == Latest)
            list_.AddRunButton(row, L"Run");
        list_.AddViewButton(row, L"View");
    }
    UpdateStartButton();
}

void InstallWorkflow::OnDpiChanged() {
    // The list keeps its widths in pixels; give them again in 96-dpi units.
    MoveToBox(list_.hwnd(), installActive_ ? kListInstallBox : kListBrowseBox);
    list_.SetRowHeight(kListRowHeight);
    const int last[2][2] = {{kListNoteColumn, kListRunColumn},
                            {kListProgressColumn, kListButtonColumn}};
    const int widths[] = {kListCheckColumn, kListNameColumn, kListStatusColumn,
                          last[installActive_][0], last[installActive_][1]};
    for (int column = 0; column < 5; ++column) list_.SetColumnWidth(column, widths[column]);
}

// ---- Start and Cancel ------------------------------------------------------------------

void InstallWorkflow::OnStart() {
    if (installActive_) return;
    if (!session_.Policy().userUpdates) {  // also a Start that did not come from the button
        win::Diag(L"[Pelmora]Start refused: the UserUpdates policy is 0\n");
        return;
    }
    const int rows = std::min(list_.GetItemCount(), table_.programCount);
    // The ticks are read and settled while the check boxes still show them.
    std::vector<bool> queued(static_cast<size_t>(rows > 0 ? rows : 0));
    for (int row = 0; row < rows; ++row) {
        if (!list_.GetCheck(row)) continue;
        const ProgramRecord& record = table_.records[row];
        if (record.state == Latest || !UsableName(record, L"download")) {
            list_.SetCheck(row, false);
            continue;
        }
        queued[row] = true;
    }

    // The list changes whole, then repaints once.
    std::optional<CListCtrlEx::Batch> batch(std::in_place, list_);
    list_.DestroyRunButtons();
    MoveToBox(list_.hwnd(), kListInstallBox);
    list_.SetExtendedStyle(kInstallStyles);
    list_.DestroyViewButtons();
    list_.DeleteColumn(4);
    list_.DeleteColumn(3);
    list_.InsertColumn(3, L"", LVCFMT_CENTER, kListProgressColumn);
    list_.InsertColumn(4, L"", LVCFMT_CENTER, kListButtonColumn);
    list_.SetEmbeddedColumns(3, 4);

    ::EnableWindow(window_.settingsButton, FALSE);
    ::ShowWindow(window_.startButton, SW_HIDE);
    ::ShowWindow(window_.cancelButton, SW_SHOW);
    ::ShowWindow(picture_.Control(), SW_HIDE);
    installActive_ = true;

    const int region = RegionOrHq(settings_.region);
    std::vector<PackageJob> jobs;
    const std::wstring loading = win::LoadText(IDS_STATUS_LOADING);
    for (int row = 0; row < rows; ++row) {
        if (queued[row]) {
            ProgramRecord& record = table_.records[row];
            record.state = Queued;
            record.retryNumber = 0;
            list_.SetItemText(row, 2, loading);
            list_.SetItemText(row, 4, L" 0 %");
            jobs.push_back(PackageJob{row, record.nameEnglish, record.serverVersion,
                                      record.packageLocation[region], record.setupFile,
                                      record.downloadMatches, DigestFor(record, region)});
        }
        list_.SetRowProgress(row, 0);
    }
    list_.CreateProgressBars();
    list_.ShowProgressBars();
    list_.CreateInstallButtons(win::LoadText(IDS_EXECUTE), win::LoadText(IDS_INSTALL));
    for (int row = 0; row < list_.GetItemCount(); ++row) {
        list_.SetRowProgress(row, 0);
        list_.SetRowButtonState(row, kRowButtonHidden);
    }
    batch.reset();

    run_ = PackageRun::Make(++runCount_, window_.window, WM_PACKAGE_WORKER_REPORT);
    if (!StartPackageWorker(launcher_, run_, std::move(jobs), session_.WorkFolder(),
                            session_.Release(), kStartWaitMs)) {
        // No rows may wait for a worker that never comes.
        win::Diag(L"[Pelmora]No package worker could be started; back to the list\n");
        BackToBrowseMode();
        ShowMessage(IDS_DOWNLOAD_FAILED, MB_OK | MB_ICONSTOP);
    }
}

void InstallWorkflow::OnCancel() {
    if (installActive_) BackToBrowseMode();
}

void InstallWorkflow::BackToBrowseMode() {
    // The worker and its transfer wake on this at once; their later reports
    // belong to a run that is no longer current and are never applied.
    if (run_) run_->Cancel();
    run_.reset();
    installActive_ = false;
    checks_.GiveUpAll();
    launcher_.Stop(kCancelWaitMs);

    const CListCtrlEx::Batch batch(list_);  // the list changes whole, then repaints once
    list_.DestroyProgressBars();
    list_.DestroyInstallButtons();
    list_.DeleteColumn(4);
    list_.DeleteColumn(3);
    list_.InsertColumn(3, L"Release Note", LVCFMT_CENTER, kListNoteColumn);
    list_.InsertColumn(4, L"Run", LVCFMT_CENTER, kListRunColumn);
    list_.SetExtendedStyle(kBrowseStyles);
    MoveToBox(list_.hwnd(), kListBrowseBox);

    ::EnableWindow(window_.settingsButton, TRUE);
    ::ShowWindow(window_.startButton, SW_SHOW);
    ::ShowWindow(window_.cancelButton, SW_HIDE);
    ::ShowWindow(picture_.Control(), SW_SHOW);
    ::SetWindowTextW(window_.cancelButton, win::LoadText(IDS_CANCEL).c_str());

    list_.DestroyViewButtons();
    list_.DestroyRunButtons();
    const std::wstring& workFolder = session_.WorkFolder();
    for (int row = 0; row < table_.programCount && row < list_.GetItemCount(); ++row) {
        ProgramRecord& record = table_.records[row];
        const std::wstring name = win::ToWide(record.nameEnglish);
        const auto state = DetectInstallState(record.id, name, win::ToWide(record.serverVersion));
        record.state = state;
        record.setupFile = SetupFileFor(state);
        // What the worker wrote, read back rather than taken from its reports.
        record.downloadMatches =
            IsSafeFileName(record.nameEnglish, table_.nameLengthLimit) &&
            VersionFileMatches(DownloadedVersionFilePath(workFolder, name),
                               win::ToWide(record.serverVersion));
        SetStatusText(row, state);
        if (state == UpdateAvailable || state == Latest) list_.AddRunButton(row, L"Run");
        list_.SetRowButtonState(row, kRowButtonHidden);
        list_.AddViewButton(row, L"View");
    }
    UpdateStartButton();
}

void InstallWorkflow::Shutdown() noexcept {
    if (run_) run_->Cancel();
    run_.reset();
    installActive_ = false;
    checks_.GiveUpAll();
    // Closing waits once, on whichever path comes first; a worker that has
    // not ended by then is let go, so the window (and with it the
    // single-instance name) ends now.
    if (!launcher_.Stop(shutDown_ ? 0 : CThreadLauncher::kDestructorWaitMs)) launcher_.LetGo();
    shutDown_ = true;
}

// ---- messages ------------------------------------------------------------------------

bool InstallWorkflow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    result = 0;
    switch (msg) {
    case WM_NOTIFY:
        return lp && OnNotify(*reinterpret_cast<NMHDR*>(lp), result);
    case WM_PACKAGE_WORKER_REPORT:
        OnWorkerReports(static_cast<unsigned>(wp));
        return true;
    case WM_LIST_INSTALL_CLICK:
        OnInstallClick(static_cast<int>(wp) - kInstallButtonIdBase);
        return true;
    case WM_LIST_VIEW_CLICK:
        OnViewClick(static_cast<int>(wp));
        return true;
    case WM_LIST_RUN_CLICK:
        OnRunClick(static_cast<int>(wp));
        return true;
    case WM_PROGRAM_STATUS_REFRESH:
        OnStatusRefresh(static_cast<int>(wp));
        return true;
    case WM_INSTALLER_CHECKED:
        OnInstallerChecked(lp);
        return true;
    default:
        return false;
    }
}

bool InstallWorkflow::OnNotify(const NMHDR& header, LRESULT& result) {
    if (!list_.hwnd() || header.hwndFrom != list_.hwnd()) return false;
    switch (header.code) {
    case NM_CUSTOMDRAW:
        result = OnCustomDraw(*reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(&header)));
        return true;
    case LVN_ITEMCHANGING: {
        // The UserUpdates policy 0 leaves the list to look at: no row can be ticked.
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        result = !session_.Policy().userUpdates && (change.uChanged & LVIF_STATE) &&
                 ((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK) &&
                 (change.uNewState & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
        return result != 0;
    }
    case LVN_ITEMCHANGED: {
        // A tick by mouse or Space changes the state image.
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        if ((change.uChanged & LVIF_STATE) &&
            ((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK))
            UpdateStartButton();
        return false;
    }
    case NM_CLICK: {
        const auto& click = reinterpret_cast<const NMITEMACTIVATE&>(header);
        if (!installActive_ && ValidRow(click.iItem) &&
            UsableName(table_.records[click.iItem], L"picture"))
            picture_.Show(win::ToWide(table_.records[click.iItem].nameEnglish),
                          settings_.language);
        return false;
    }
    default:
        return false;
    }
}

LRESULT InstallWorkflow::OnCustomDraw(NMLVCUSTOMDRAW& draw) {
    switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
        draw.clrTextBk = kWhite;
        const int row = static_cast<int>(draw.nmcd.dwItemSpec);
        if (draw.iSubItem == 2)
            draw.clrText = ValidRow(row) ? StatusColour(table_.records[row].state, draw.clrText)
                                         : draw.clrText;
        else
            draw.clrText = kBlack;
        return CDRF_NEWFONT;
    }
    default:
        return CDRF_DODEFAULT;
    }
}

void InstallWorkflow::OnWorkerReports(unsigned run) {
    // A cancelled run's reports stay in its own queue and go with it.
    if (!run_ || run != run_->Number()) return;
    const std::shared_ptr<PackageRun> current = run_;
    for (const WorkerReport& report : current->Drain()) {
        if (run_ != current) return;  // cancelled or closed while a box was open
        if (report.run == current->Number()) ApplyReport(report);
    }
}

void InstallWorkflow::ApplyReport(const WorkerReport& report) {
    if (report.kind == ReportKind::AllRowsPassed) {
        ::SetWindowTextW(window_.cancelButton, win::LoadText(IDS_BACK).c_str());
        ::InvalidateRect(window_.cancelButton, nullptr, TRUE);
        return;
    }
    if (!ValidRow(report.row)) return;
    ProgramRecord& record = table_.records[report.row];
    switch (report.kind) {
    case ReportKind::Downloading:
        record.state = Downloading;
        record.retryNumber = report.value;
        SetStatusText(report.row, Downloading);
        break;
    case ReportKind::Progress:
        list_.ShowRowProgress(report.row, report.value);
        break;
    case ReportKind::Downloaded:
        record.state = Downloaded;
        record.retryNumber = report.value;
        record.downloadMatches = true;
        SetStatusText(report.row, Downloaded);
        list_.SetRowButtonState(report.row, kRowButtonInstall);
        list_.ShowInstallButtons();
        break;
    case ReportKind::AskRetry: {
        record.downloadMatches = true;
        const std::shared_ptr<PackageRun> asking = run_;
        const bool yes =
            MessageBoxPrompt(window_.window)
                .Show(win::LoadText(IDS_DOWNLOAD_RETRY), MB_YESNO | MB_ICONQUESTION) == IDYES;
        if (asking && run_ == asking) asking->Answer(yes);
        break;
    }
    case ReportKind::DownloadFailed:
        record.downloadMatches = true;
        ShowMessage(IDS_DOWNLOAD_FAILED, MB_OK | MB_ICONSTOP);
        break;
    case ReportKind::FolderNotWritable: {
        MessageBoxPrompt prompt(window_.window);
        ReportFolderNotWritable(
            prompt, DownloadFolderIn(session_.WorkFolder(), win::ToWide(record.nameEnglish)),
            static_cast<DWORD>(report.value), false);
        break;
    }
    case ReportKind::AllRowsPassed:
        break;
    }
}

// ---- row buttons -------------------------------------------------------------------------

void InstallWorkflow::OnInstallClick(int row) {
    if (!ValidRow(row) || launches_.Running(table_.records[row].id)) return;
    const ProgramRecord& record = table_.records[row];
    const std::wstring name = win::ToWide(record.nameEnglish);
    if (record.state == Latest) {  // installed since: the button reads "Execute"
        launches_.Started(record.id, StartInstalledProgram(record.id, name));
        return;
    }
    if (!UsableName(record, L"installer")) return;
    const std::wstring path =
        DownloadFolderIn(session_.WorkFolder(), win::ToWide(record.nameEnglish)) + L"\\" +
        win::ToWide(InstallerFileName(record.setupFile, record.retryNumber));
    // The download folder is writable by every user of the machine: check
    // the installer again, and keep it locked against changes until it runs.
    // With the maker's key, only an installer the signed release lists runs.
    const std::optional<Sha256Digest> digest = DigestFor(record, settings_.region);
    if (!digest && session_.Release()) return RefuseInstaller(row, path);
    CheckThenInstall(row, path, digest);
}

// The check of a large installer takes seconds: it runs beside the window,
// whose row says so, and a second click meanwhile does nothing.
void InstallWorkflow::CheckThenInstall(int row, const std::wstring& path,
                                       const std::optional<Sha256Digest>& digest) {
    if (checks_.Running(row)) return;
    if (!checks_.Start(window_.window, row, path, win::ToWide(table_.records[row].nameEnglish),
                       digest, session_.InstallerSigners(), session_.PrivateRoot())) {
        ShowMessage(IDS_DOWNLOAD_FAILED, MB_OK | MB_ICONSTOP);
        return;
    }
    list_.SetItemText(row, 2, win::LoadText(IDS_STATUS_CHECKING));
}

void InstallWorkflow::OnInstallerChecked(LPARAM message) {
    const std::shared_ptr<InstallerCheck> check = checks_.Take(message);
    if (!check || !ValidRow(check->row)) return;  // given up: its handle just closes
    SetStatusText(check->row, table_.records[check->row].state);
    const PrivateInstaller& copy = check->copy;
    if (copy.path.empty()) {
        // A copy that does not match means the download changed since it was checked.
        if (copy.error == ERROR_FILE_INVALID) return RefuseInstaller(check->row, check->path);
        // Not the publisher's: said why, and fetched again at the next Start.
        if (IsSignatureRefusal(copy.error))
            return RefuseInstaller(check->row, check->path, SignatureRefusalText(copy.error));
        MessageBoxPrompt(window_.window).Show(win::SystemErrorText(copy.error), MB_OK | MB_ICONSTOP);
        return;
    }
    // The checked copy stays locked (by `check`) until the installer has started from it.
    const int id = table_.records[check->row].id;
    win::Handle process;
    OpenInstallerAndWatch(copy.path, window_.window, id, &process);
    launches_.Started(id, std::move(process));
}

void InstallWorkflow::RefuseInstaller(int row, const std::wstring& path, const std::wstring& why) {
    if (why.empty())
        win::Diag(L"[Pelmora]Installer does not match a digest of the catalogue: " + path + L"\n");
    if (!win::RefuseLink(path)) ::DeleteFileW(path.c_str());  // never through a planted link
    // Back to what the registry says: the row needs a download again.
    ProgramRecord& changed = table_.records[row];
    changed.state = DetectInstallState(changed.id, win::ToWide(changed.nameEnglish),
                                       win::ToWide(changed.serverVersion));
    changed.downloadMatches = false;
    SetStatusText(row, changed.state);
    list_.SetRowButtonState(row, kRowButtonHidden);
    list_.ShowInstallButtons();
    if (why.empty())
        ShowMessage(IDS_INSTALLER_CHANGED, MB_OK | MB_ICONSTOP);
    else
        MessageBoxPrompt(window_.window).Show(why, MB_OK | MB_ICONSTOP);
}

void InstallWorkflow::OnViewClick(int row) {
    if (!ValidRow(row)) return;
    const ProgramRecord& record = table_.records[row];
    if (!UsableName(record, L"release note")) {
        ShowMessage(IDS_DOWNLOAD_FAILED, MB_OK | MB_ICONSTOP);
        return;
    }
    const std::wstring url = win::ToWide(ReleaseNoteUrl(record.packageLocation[HQ]));
    const std::wstring path =
        session_.LocalRoot() + win::ToWide(ReleaseNoteFile(record.nameEnglish));
    const HRESULT result =
        FetchAsReleased(session_.Release().get(), url, path, kSmallFileTimeoutMs, {});
    if (result != S_OK) {
        win::Diag(L"[Pelmora]Release note " + url + L" failed: " +
                  DownloadFailureText(result, kSmallFileTimeoutMs) + L"\n");
        // An earlier copy is still worth reading; without one there is nothing to open.
        if (!win::FileExists(path)) {
            ShowMessage(IDS_DOWNLOAD_FAILED, MB_OK | MB_ICONSTOP);
            return;
        }
    }
    // By full path: a notepad.exe in the current folder is not the system's.
    if (const DWORD error = win::StartProgram(
            win::ProgramStart{win::SystemProgram(L"notepad.exe"), L"\"" + path + L"\"", {},
                              win::StartHow::Shell, window_.window}))
        MessageBoxPrompt(window_.window).Show(win::SystemErrorText(error), MB_OK | MB_ICONSTOP);
}

void InstallWorkflow::OnRunClick(int row) {
    if (!ValidRow(row)) return;
    const ProgramRecord& record = table_.records[row];
    StartInstalledProgram(record.id, win::ToWide(record.nameEnglish));
}

void InstallWorkflow::OnStatusRefresh(int id) {
    bool executeButtons = false;
    bool runButtons = false;
    for (int row = 0; ValidRow(row); ++row) {
        ProgramRecord& record = table_.records[row];
        if (record.id != id) continue;
        // Rows still waiting or downloading in this run are the worker's.
        if (installActive_ && (record.state == Queued || record.state == Downloading)) continue;
        const auto state = DetectInstallState(record.id, win::ToWide(record.nameEnglish),
                                              win::ToWide(record.serverVersion));
        if (installActive_) {
            // An installer that ended without installing leaves its row as it was.
            if (state != Latest) continue;
            list_.SetRowButtonState(row, kRowButtonExecute);
            executeButtons = true;
        } else {
            runButtons = true;
        }
        record.state = state;
        record.setupFile = SetupFileFor(state);
        SetStatusText(row, state);
    }
    if (executeButtons) {
        list_.CreateInstallButtons(win::LoadText(IDS_EXECUTE), win::LoadText(IDS_INSTALL));
        list_.ShowInstallButtons();
    }
    if (runButtons) {
        list_.DestroyRunButtons();
        AddRunButtons();
    }
}

// ---- helpers --------------------------------------------------------------------------------

int InstallWorkflow::TickedRows() const {
    int ticked = 0;
    for (int row = 0, rows = list_.GetItemCount(); row < rows; ++row)
        if (list_.GetCheck(row)) ++ticked;
    return ticked;
}

void InstallWorkflow::UpdateStartButton() {
    if (window_.startButton)
        ::EnableWindow(window_.startButton, session_.Policy().userUpdates && TickedRows() > 0);
}

bool InstallWorkflow::ValidRow(int row) const {
    return row >= 0 && row < table_.programCount && row < list_.GetItemCount();
}

void InstallWorkflow::SetStatusText(int row, InstallState state) {
    const UINT id = StatusTextId(state);
    list_.SetItemText(row, 2, id ? win::LoadText(id) : std::wstring());
}

void InstallWorkflow::AddRunButtons() {
    for (int row = 0; ValidRow(row); ++row) {
        const InstallState state = table_.records[row].state;
        if (state == UpdateAvailable || state == Latest) list_.AddRunButton(row, L"Run");
    }
}

void InstallWorkflow::ShowMessage(UINT textId, UINT type) {
    MessageBoxPrompt(window_.window).Show(win::LoadText(textId), type);
}

}  // namespace pelmora
