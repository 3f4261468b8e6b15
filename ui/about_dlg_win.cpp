#include "ui/about_dlg_win.h"

#include "resource_ids.h"

namespace pelmora {

// Everything it shows is in its template; OK and Esc end it.
CAboutDlg::CAboutDlg() : win::Dialog(IDD_ABOUTBOX) {}

}  // namespace pelmora
