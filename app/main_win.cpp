// Process entry point: the session, then the switch lines or the window.
#include "app/command_line.h"
#include "app/pelmora_app_win.h"
#include "app/session/session_win.h"
#include "app/unattended/switch_line.h"
#include "app/unattended/unattended_run_win.h"
#include "win/text_win.h"

#include <windows.h>

namespace {

// DLLs loaded from now on come from System32 only: a DLL planted beside a
// downloaded Pelmora or in the current folder is never loaded. Looked up at
// run time: Windows 7 has it only with KB2533623.
void LoadDllsFromSystemFolderOnly() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto setDefaultDllDirectories =
        reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(::GetProcAddress(
            ::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefaultDllDirectories) setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    LoadDllsFromSystemFolderOnly();
    // The text after the program path, whole, as the framework would hand it on.
    const std::wstring arguments =
        win::ToWide(pelmora::ArgumentsOf(win::ToU16(::GetCommandLineW())));
    // A line of switches is a script's: it never opens a window.
    const bool switchLine = pelmora::IsSwitchLine(win::ToU16(arguments));
    // Built with the maker's key, Pelmora takes only what the maker signed;
    // without it, with a publisher, only installers the publisher signed.
    const std::unique_ptr<pelmora::Session> session =
        pelmora::Session::FromMachine(PELMORA_PUBLIC_KEY, PELMORA_PUBLISHER, switchLine);
    // Its code is the process's; like the window's end, not a return, so that
    // a transfer given up on cannot outlive or delay it.
    if (switchLine) ::ExitProcess(static_cast<UINT>(pelmora::RunSwitchLine(*session, arguments)));
    pelmora::CPelmoraApp app(*session, arguments);
    app.InitInstance();
    // Not a return: the runtime's exit would wait on nothing useful, and
    // transfers still running must not keep the process (or its
    // single-instance marker) alive.
    pelmora::EndProcess({});
}
