// Process entry point.
#include "app/command_line.h"
#include "app/pelmora_app_win.h"
#include "app/unattended/switch_line.h"
#include "app/unattended/unattended_run_win.h"
#include "download/url/base_url_win.h"
#include "download/release/release_check_win.h"
#include "win/text_win.h"

#include <windows.h>

namespace pelmora {
namespace {
CPelmoraApp* g_app = nullptr;
}
CPelmoraApp& TheApp() { return *g_app; }
}  // namespace pelmora

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // The text after the program path, whole, as the framework would hand it on.
    const std::wstring arguments =
        win::ToWide(pelmora::ArgumentsOf(win::ToU16(::GetCommandLineW())));
    pelmora::InitBaseUrl();
    // Built with the maker's key, Pelmora takes only what the maker signed.
    pelmora::SetMakerKey(pelmora::ParseMakerPublicKey(PELMORA_PUBLIC_KEY));
    // A line of switches is a script's: it never opens a window.
    // Its code is the process's; like the window's end, not a return, so that
    // a transfer given up on cannot outlive or delay it.
    if (pelmora::IsSwitchLine(win::ToU16(arguments)))
        ::ExitProcess(static_cast<UINT>(pelmora::RunSwitchLine(arguments)));
    pelmora::CPelmoraApp app(arguments);
    pelmora::g_app = &app;
    app.InitInstance();
    pelmora::g_app = nullptr;
    // Not a return: the runtime's exit would wait on nothing useful, and
    // transfers still running must not keep the process (or its
    // single-instance marker) alive.
    pelmora::EndProcess({});
}
