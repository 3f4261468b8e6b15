// The settings command: the settings dialog, then everything shown in the
// language chosen there.
#include "app/interface_language_win.h"
#include "app/pelmora_dlg_win.h"

namespace pelmora {

void CPelmoraDlg::OnSettingsCommand() {
    // The settings dialog comes with the skin.
}

}  // namespace pelmora
