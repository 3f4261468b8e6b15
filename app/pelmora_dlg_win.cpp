#include "app/pelmora_dlg_win.h"

#include "app/settings/interface_language_win.h"
#include "resource_ids.h"
#include "ui/skin_win.h"
#include "ui/window_messages.h"
#include "win/diagnostics_win.h"

namespace pelmora {

CPelmoraDlg::CPelmoraDlg(Session& session, bool quietMode, std::wstring commandLine,
                         std::unique_ptr<Session::StartupFetches> fetches)
    : win::Dialog(IDD_PELMORA_DIALOG),
      session_(session),
      quietMode_(quietMode),
      commandLine_(std::move(commandLine)),
      workflow_(session, table_, list_, settings_, picture_),
      fetches_(std::move(fetches)),
      prompt_(nullptr) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    icon_.reset(static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_PELMORA), IMAGE_ICON,
                                                ::GetSystemMetrics(SM_CXICON),
                                                ::GetSystemMetrics(SM_CYICON), 0)));
    smallIcon_.reset(static_cast<HICON>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(IDI_PELMORA), IMAGE_ICON,
                     ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0)));
}

CPelmoraDlg::~CPelmoraDlg() {
    // Never waits on a worker that needs this window (see InstallWorkflow).
    workflow_.Shutdown();
    win::Diag(L"\n[Pelmora]Stop Thread Complete!!\n");
}

void CPelmoraDlg::OnDestroy() {
    pictures_.Stop();  // nothing more reaches this window, nor is written by its sync
    workflow_.Shutdown();
}

INT_PTR CPelmoraDlg::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_PROGRAM_PICTURES) {
        OnProgramPictures(wp);
        return TRUE;
    }
    if (msg == WM_DPICHANGED && lp) {
        skin_.OnDpiChanged(*reinterpret_cast<const RECT*>(lp));
        workflow_.OnDpiChanged();
        MoveToBox(Item(IDC_PROGRAM_IMAGE), kProgramImageBox);
        picture_.SetDpi(HIWORD(wp));
        return TRUE;
    }
    LRESULT workflowResult = 0;
    if (workflow_.HandleMessage(msg, wp, lp, workflowResult)) {
        // WM_NOTIFY answers (custom draw) go back through DWLP_MSGRESULT.
        ::SetWindowLongPtrW(hwnd(), DWLP_MSGRESULT, workflowResult);
        return TRUE;
    }
    INT_PTR skinResult = FALSE;
    if (skin_.HandleMessage(msg, wp, lp, skinResult)) return skinResult;
    return win::Dialog::HandleMessage(msg, wp, lp);
}

bool CPelmoraDlg::OnCommand(WORD id, WORD code, HWND control) {
    switch (id) {
    case IDC_BTN_SETTING:
        OnSettingsCommand();
        return true;
    case IDC_BTN_START:
        workflow_.OnStart();
        return true;
    case IDC_BTN_CANCEL:
        workflow_.OnCancel();
        return true;
    case IDOK:  // Enter in the list must not end the program
        return true;
    default:
        return win::Dialog::OnCommand(id, code, control);
    }
}

}  // namespace pelmora
