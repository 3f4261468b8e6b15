// The main window. It owns the program table, the list and the skin, and only
// routes messages: the start-up sequence lives in startup_sequence_win.cpp,
// the look in ui/main_window_skin_win.h, the install workflow in
// app/main_window/install_workflow_win.h.
#pragma once
#include "app/session/session_win.h"
#include "app/settings/settings.h"
#include "app/startup/startup_steps_win.h"
#include "app/startup_clock_win.h"
#include "app/main_window/install_workflow_win.h"
#include "catalogue/model/program_record.h"
#include "download/sync/program_image_sync_win.h"
#include "ui/list_ctrl_ex_win.h"
#include "ui/main_window_skin_win.h"
#include "ui/program_picture_win.h"
#include "ui/splash_dlg_win.h"
#include "win/dialog_win.h"
#include "win/handles_win.h"

#include <memory>
#include <string>

namespace pelmora {

class CPelmoraDlg : public win::Dialog, private StartupFrontEnd {
public:
    // `session` outlives the window. `fetches`: the start-up's early fetches,
    // started before the window (null: the start-up starts them itself).
    CPelmoraDlg(Session& session, bool quietMode, std::wstring commandLine,
                std::unique_ptr<Session::StartupFetches> fetches = nullptr);
    ~CPelmoraDlg() override;

    const Settings& CurrentSettings() const noexcept { return settings_; }
    const ProgramTable& Programs() const noexcept { return table_; }

protected:
    BOOL OnInitDialog() override;  // the start-up sequence
    INT_PTR HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    void OnDestroy() override;

private:
    // Settings button (1003) and the first run: the settings dialog, then the
    // texts, list and picture in the language chosen there.
    void OnSettingsCommand();

    // Start-up (startup_sequence_win.cpp): the steps every start takes, with
    // the window's prompts. False: the window is closing.
    bool PrepareSettingsAndFolders();
    bool StartSelfUpdate(const std::wstring& offered);
    Prompt& Prompts() override;
    void DismissSplash() override { CloseSplash(); }
    bool AskProxyCredentials(const std::wstring& url) override;
    void SelfVersionNotFetched(HRESULT fetched) override;
    StartupStep OnSelfVersion(SelfVersionState state, const std::wstring& offered) override;
    void LayOutList();
    void CloseSplash() noexcept;
    void CloseDuringStartup();
    // WM_PROGRAM_PICTURES: the list is shown (kListShown), or pictures arrived.
    static constexpr WPARAM kListShown = 1;
    void OnProgramPictures(WPARAM what);

    Session& session_;
    bool quietMode_;
    std::wstring commandLine_;
    Settings settings_;  // InterfaceLanguage and ServerRegion
    ProgramTable table_;
    CListCtrlEx list_;
    MainWindowSkin skin_;
    ProgramPicture picture_;  // the program picture control's bitmap; outlives the workflow
    InstallWorkflow workflow_;
    win::Icon icon_;
    win::Icon smallIcon_;
    CSplashDlg splash_;         // open from the splash step to the end of start-up
    std::unique_ptr<StartupClock> clock_;  // from the start-up on
    std::unique_ptr<Session::StartupFetches> fetches_;  // taken by the start-up
    BackgroundPictureSync pictures_;  // from the end of start-up to the window's end
    MessageBoxPrompt prompt_;  // owned by this window, once it exists
};

}  // namespace pelmora
