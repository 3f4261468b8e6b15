#include "catalogue/installer_watch_win.h"

#include "ui/window_messages.h"
#include "win/diagnostics_win.h"

#include <process.h>
#include <shellapi.h>

#include <memory>
#include <new>

namespace pelmora {
namespace {

struct Watch {
    HANDLE process;  // owned: closed by the watching thread
    HWND window;     // borrowed; a post to a window that is gone fails harmlessly
    int id;
};

unsigned __stdcall WatchInstaller(void* parameter) noexcept {
    const std::unique_ptr<Watch> watch(static_cast<Watch*>(parameter));
    ::WaitForSingleObject(watch->process, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(watch->process, &code);
    ::CloseHandle(watch->process);
    win::Diag(L"[Pelmora]Installer of program " + std::to_wstring(watch->id) + L" ended with " +
              std::to_wstring(code) + L"\n");
    ::PostMessageW(watch->window, WM_PROGRAM_STATUS_REFRESH, static_cast<WPARAM>(watch->id), 0);
    return 0;
}

}  // namespace

bool OpenInstallerAndWatch(const std::wstring& path, HWND window, int id, win::Handle* process) {
    std::wstring folder = path.substr(0, path.rfind(L'\\'));
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.hwnd = window;
    info.lpVerb = L"open";
    info.lpFile = path.c_str();
    info.lpDirectory = folder.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!::ShellExecuteExW(&info)) {
        win::Diag(L"[Pelmora]Could not open " + path + L": " + std::to_wstring(::GetLastError()) +
                  L"\n");
        return false;
    }
    win::Diag(L"[Pelmora]Installer opened: " + path + L"\n");
    if (!info.hProcess) return true;  // handed to another program: no end to watch
    HANDLE own = nullptr;
    if (process && ::DuplicateHandle(::GetCurrentProcess(), info.hProcess, ::GetCurrentProcess(),
                                     &own, SYNCHRONIZE, FALSE, 0))
        process->reset(own);
    auto* watch = new (std::nothrow) Watch{info.hProcess, window, id};
    const uintptr_t thread =
        watch ? ::_beginthreadex(nullptr, 0, &WatchInstaller, watch, 0, nullptr) : 0;
    if (!thread) {
        delete watch;
        ::CloseHandle(info.hProcess);
        return true;
    }
    ::CloseHandle(reinterpret_cast<HANDLE>(thread));  // it ends by itself
    return true;
}

}  // namespace pelmora
