// The about box (template 100), opened from the main window's system menu.
#pragma once
#include "win/dialog_win.h"

namespace pelmora {

class CAboutDlg : public win::Dialog {
public:
    CAboutDlg();
};

}  // namespace pelmora
