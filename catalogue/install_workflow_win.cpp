#include "catalogue/install_workflow_win.h"

#include "string_ids.h"
#include "win/string_resources_win.h"
#include "win/text_win.h"

#include <commctrl.h>

namespace pelmora {
namespace {

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

const std::u16string& NameInLanguage(const ProgramRecord& record, int language) {
    switch (language) {
    case Korean: return record.nameKorean;
    case Chinese: return record.nameChinese;
    case Japanese: return record.nameJapanese;
    default: return record.nameEnglish;
    }
}

}  // namespace

InstallWorkflow::~InstallWorkflow() { Shutdown(); }

void InstallWorkflow::FillList() {
    list_.DeleteAllItems();
    for (int columns = list_.GetColumnCount(); columns > 0; --columns) list_.DeleteColumn(0);
    // A 1 x 25 image list sets the row height.
    static HIMAGELIST rowHeight = ::ImageList_Create(1, 25, ILC_COLOR, 1, 0);
    list_.SetImageList(rowHeight);
    list_.InsertColumn(0, L" ", LVCFMT_LEFT, 21);
    list_.InsertColumn(1, win::LoadText(IDS_PROGRAM_NAME), LVCFMT_LEFT, 170);
    list_.InsertColumn(2, win::LoadText(IDS_STATUS), LVCFMT_CENTER, 85);
    list_.InsertColumn(3, L"Release Note", LVCFMT_CENTER, 80);
    list_.InsertColumn(4, L"Run", LVCFMT_CENTER, 50);
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
}

void InstallWorkflow::OnStart() {}

void InstallWorkflow::OnCancel() {}

bool InstallWorkflow::HandleMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

void InstallWorkflow::Shutdown() noexcept { installActive_ = false; }

}  // namespace pelmora
