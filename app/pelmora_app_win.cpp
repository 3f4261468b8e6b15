#include "app/pelmora_app_win.h"

#include "app/settings/interface_language_win.h"
#include "app/pelmora_dlg_win.h"
#include "app/session/session_win.h"
#include "string_ids.h"
#include "win/diagnostics_win.h"
#include "win/instance_marker_win.h"
#include "win/string_resources_win.h"

#include <commctrl.h>

#include <memory>

namespace pelmora {

void EndProcess(std::wstring_view why) noexcept {
    if (!why.empty()) win::Diag(why);  // written whole before Diag returns
    ::ExitProcess(0);
}

bool CPelmoraApp::InitInstance() {
    win::InstanceMarker marker = win::TakeInstanceMarker(L"Pelmora");
    // Never closed: the marker goes with the process, even after a crash.
    marker.handle.release();
    if (marker.another) {
        win::Diag(L"[Pelmora]Another instance is running\n");
        if (QuietMode()) return false;
        // Speak the language the running instance shows.
        Settings settings;
        ReadSettings(settings, session_.Policy().region);
        const std::wstring text = win::LoadText(IDS_ALREADY_RUNNING);
        ::MessageBoxW(nullptr, text.c_str(), L"Pelmora", MB_OK);
        return false;
    }

    // The start-up's files need only the base URL and the key: their round
    // trips overlap the window's creation and the settings' reading.
    auto fetches = std::make_unique<Session::StartupFetches>(session_);

    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof(controls);
    controls.dwICC = 0xFF;
    ::InitCommonControlsEx(&controls);

    {
        CPelmoraDlg dlg(session_, QuietMode(), m_lpCmdLine, std::move(fetches));
        m_pMainWnd = &dlg;
        dlg.DoModal();
        // The process ends right after (main_win.cpp), whatever transfers still run.
        win::Diag(L"[Pelmora]Main window closed: the process ends\n");
        m_pMainWnd = nullptr;
    }
    return false;
}

}  // namespace pelmora
