// The install-and-update workflow of the main window: the list in
// browse mode, Start and Cancel, the list's row buttons, and the package
// worker's reports. Runs on the window thread, which owns the program table
// and the list; the worker gets what it needs at Start and reports back
// through its run (download/package_worker_win.h). The window thread never
// waits on anything that needs it.
#pragma once
#include "app/session/session_win.h"
#include "app/settings/settings.h"
#include "app/main_window/installer_check_win.h"
#include "catalogue/model/program_record.h"
#include "app/main_window/row_launches_win.h"
#include "download/worker/package_worker_win.h"
#include "download/worker/thread_launcher_win.h"
#include "ui/list_ctrl_ex_win.h"
#include "ui/program_picture_win.h"

#include <windows.h>

#include <memory>

namespace pelmora {

// The main window's controls the workflow switches between the modes (borrowed).
struct WorkflowWindow {
    HWND window = nullptr;  // the main window: message target, owner of message boxes
    HWND settingsButton = nullptr;
    HWND startButton = nullptr;
    HWND cancelButton = nullptr;  // its caption is its window text
};

class InstallWorkflow {
  public:
    // The session outlives this object; the other four are the main window's.
    InstallWorkflow(Session& session, ProgramTable& table, CListCtrlEx& list,
                    const Settings& settings, ProgramPicture& picture) noexcept
        : session_(session), table_(table), list_(list), settings_(settings), picture_(picture) {}
    ~InstallWorkflow();
    InstallWorkflow(const InstallWorkflow&) = delete;
    InstallWorkflow& operator=(const InstallWorkflow&) = delete;

    void Bind(const WorkflowWindow& window) noexcept { window_ = window; }

    // Browse mode: columns, rows from the table, View and Run buttons.
    void FillList();
    // The window's DPI changed: the list's place, columns and rows again.
    void OnDpiChanged();
    void OnStart();   // command 1004
    void OnCancel();  // command 1010, also when it reads "Back"
    // The list's notifications and row-button messages, and the worker's
    // reports. True when handled; `result` is the message's answer.
    bool HandleMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
    // Ends the install run, if any, without waiting on anything that needs
    // the window thread. Safe to call more than once.
    void Shutdown() noexcept;

    bool InstallActive() const noexcept { return installActive_; }

    // How long Cancel waits for the cancelled worker before going on without
    // it, and how long a later Start waits for it to have ended.
    static constexpr DWORD kCancelWaitMs = 300;
    static constexpr DWORD kStartWaitMs = 5000;

  private:
    bool OnNotify(const NMHDR& header, LRESULT& result);
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW& draw);
    void OnWorkerReports(unsigned run);
    void ApplyReport(const WorkerReport& report);
    void OnInstallClick(int row);
    void CheckThenInstall(int row, const std::wstring& path,
                          const std::optional<Sha256Digest>& digest);
    void OnInstallerChecked(LPARAM check);
    // `why` the user is told; empty: the download changed since it was checked.
    void RefuseInstaller(int row, const std::wstring& path, const std::wstring& why = {});
    void BackToBrowseMode();
    void OnViewClick(int row);
    void OnRunClick(int row);
    void OnStatusRefresh(int id);

    void UpdateStartButton();
    int TickedRows() const;
    bool ValidRow(int row) const;
    void SetStatusText(int row, InstallState state);
    void AddRunButtons();
    void ShowMessage(UINT textId, UINT type);

    bool UsableName(const ProgramRecord& record, const wchar_t* what) const;
    // What a row's installer must match (see InstallerDigest).
    std::optional<Sha256Digest> DigestFor(const ProgramRecord& record, int region) const;

    Session& session_;
    ProgramTable& table_;
    CListCtrlEx& list_;
    const Settings& settings_;
    ProgramPicture& picture_;
    WorkflowWindow window_;
    bool installActive_ = false;
    CThreadLauncher launcher_;
    std::shared_ptr<PackageRun> run_;  // the active run; null in browse mode
    unsigned runCount_ = 0;
    RowLaunches launches_;   // what each row's Install/Execute started
    bool shutDown_ = false;  // closing waited once already
    InstallerChecks checks_;
};

}  // namespace pelmora
