// The main window's start-up: everything between the window's creation and
// the list the user sees.
#include "app/interface_language_win.h"
#include "app/pelmora_dlg_win.h"
#include "catalogue/install_detection_win.h"
#include "catalogue/program_table_win.h"
#include "download/sync_defaults_win.h"
#include "resource_ids.h"
#include "ui/prompt_win.h"
#include "win/diagnostics_win.h"
#include "win/files_win.h"
#include "win/text_win.h"

namespace pelmora {

BOOL CPelmoraDlg::OnInitDialog() {
    ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.get()));
    ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
    ::SetWindowTextW(hwnd(), L"Pelmora v1.3.2");
    skin_.Attach(hwnd());

    ReadSettings(settings_);
    win::Diag(L"[Pelmora]Interface language " + std::to_wstring(settings_.language) +
              L", server region " + std::to_wstring(settings_.region) + L"\n");

    for (const wchar_t* folder : {L"Korvath", L"Korvath\\tools", L"Korvath\\tools\\Pelmora"})
        win::EnsureFolder(win::LocalRoot() + folder);

    MessageBoxPrompt prompt(hwnd());
    CatalogueStartup startup{DefaultServerFiles(), CheckInstalled, &prompt,
                             quietMode_ ? commandLine_ : std::wstring(), {}};
    if (LoadProgramCatalogue(startup, table_) == StartupStep::Close) {
        ::PostMessageW(hwnd(), WM_CLOSE, 0, 0);
        return TRUE;
    }

    skin_.LayOut();
    workflow_.Bind(WorkflowWindow{hwnd(), Item(IDC_BTN_SETTING), Item(IDC_BTN_START),
                                  Item(IDC_BTN_CANCEL), Item(IDC_PROGRAM_IMAGE)});
    list_.Attach(Item(IDC_PROGRAM_LIST));
    ::SetWindowPos(list_.hwnd(), nullptr, 10, 80, 410, 264, SWP_NOZORDER);
    list_.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    ::EnableWindow(list_.GetHeaderCtrl(), FALSE);
    workflow_.FillList();
    ::SetWindowPos(Item(IDC_PROGRAM_IMAGE), nullptr, 420, 80, 350, 264, SWP_NOZORDER);
    SyncProgramImages(table_);
    if (table_.programCount > 0)
        ShowProgramImage(win::ToWide(table_.records[0].nameEnglish), Item(IDC_PROGRAM_IMAGE),
                         settings_.language);
    return TRUE;
}

}  // namespace pelmora
