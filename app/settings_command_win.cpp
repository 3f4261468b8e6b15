// The settings command: the settings dialog, then everything shown in the
// language chosen there.
#include "app/settings/interface_language_win.h"
#include "app/pelmora_dlg_win.h"
#include "resource_ids.h"
#include "ui/config_dlg_win.h"
#include "win/text_win.h"

namespace pelmora {

void CPelmoraDlg::OnSettingsCommand() {
    // Whether this is the first run must be known before the dialog may write the file.
    const bool hadFile = ::GetFileAttributesW(SettingsFilePath().c_str()) != INVALID_FILE_ATTRIBUTES;
    CConfigDlg dialog(settings_.language, settings_.region,
                      session_.Policy().region.has_value());
    if (dialog.Run(hwnd()) == IDOK) {
        // A file that could not be written reads as missing: the language is
        // then detected again, and what is shown must follow it even so.
        const Settings before = settings_;
        const bool changed = ReadSettings(settings_, session_.Policy().region);
        if (!changed && before.language == settings_.language && before.region == settings_.region)
            return;
        skin_.RefreshTexts();
        workflow_.FillList();
        if (table_.programCount > 0)
            picture_.Show(win::ToWide(table_.records[0].nameEnglish), settings_.language);
        return;
    }
    // Cancelled on the first run: keep what was detected, so the prompt does not come again.
    if (!hadFile) WriteSettings(settings_.language, settings_.region);
}

}  // namespace pelmora
