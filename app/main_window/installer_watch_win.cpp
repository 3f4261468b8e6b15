#include "app/main_window/installer_watch_win.h"

#include "ui/window_messages.h"
#include "win/diagnostics_win.h"
#include "win/process_win.h"
#include "win/text_win.h"
#include "win/thread_win.h"

namespace pelmora {
namespace {

// Owns `process` and closes it; posts the refresh to `window` (borrowed; a
// post to a window that is gone fails harmlessly).
void WatchInstaller(HANDLE process, HWND window, int id) noexcept {
    ::WaitForSingleObject(process, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(process, &code);
    ::CloseHandle(process);
    win::Diag(L"[Pelmora]Installer of program " + std::to_wstring(id) + L" ended with " +
              std::to_wstring(code) + L"\n");
    ::PostMessageW(window, WM_PROGRAM_STATUS_REFRESH, static_cast<WPARAM>(id), 0);
}

}  // namespace

bool OpenInstallerAndWatch(const std::wstring& path, HWND window, int id, win::Handle* process) {
    win::Handle started;
    if (const DWORD error = win::StartProgram(
            win::ProgramStart{path, {}, {}, win::StartHow::Shell, window}, &started)) {
        win::Diag(L"[Pelmora]Could not open " + path + L": " + win::ErrorCodeText(error) + L"\n");
        return false;
    }
    win::Diag(L"[Pelmora]Installer opened: " + path + L"\n");
    if (!started) return true;  // handed to another program: no end to watch
    HANDLE own = nullptr;
    if (process && ::DuplicateHandle(::GetCurrentProcess(), started.get(), ::GetCurrentProcess(),
                                     &own, SYNCHRONIZE, FALSE, 0))
        process->reset(own);
    const HANDLE watched = started.release();
    if (!win::StartDetachedThread([watched, window, id] { WatchInstaller(watched, window, id); }))
        ::CloseHandle(watched);
    return true;
}

}  // namespace pelmora
