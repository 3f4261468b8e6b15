#include "ui/splash_dlg_win.h"

#include "resource_ids.h"

namespace pelmora {

CSplashDlg::CSplashDlg() : win::Dialog(IDD_SPLASH) {}

bool CSplashDlg::Open() { return false; }  // the splash comes with the skin

void CSplashDlg::Close() noexcept { Destroy(); }

}  // namespace pelmora
