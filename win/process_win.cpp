#include "win/process_win.h"

#include "win/diagnostics_win.h"

#include <shellapi.h>

namespace win {
namespace {

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

DWORD ShellStart(const ProgramStart& start, const std::wstring& folder, Handle* process) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI | (process ? SEE_MASK_NOCLOSEPROCESS : 0);
    info.hwnd = start.owner;
    info.lpVerb = L"open";
    info.lpFile = start.path.c_str();
    info.lpParameters = start.arguments.empty() ? nullptr : start.arguments.c_str();
    info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!::ShellExecuteExW(&info)) return ::GetLastError();
    if (reinterpret_cast<INT_PTR>(info.hInstApp) <= 32) {
        if (info.hProcess) ::CloseHandle(info.hProcess);
        return ERROR_GEN_FAILURE;
    }
    if (process) process->reset(info.hProcess);
    return ERROR_SUCCESS;
}

DWORD DirectStart(const ProgramStart& start, const std::wstring& folder, Handle* process) {
    std::wstring commandLine = L"\"" + start.path + L"\"";
    if (!start.arguments.empty()) commandLine += L" " + start.arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    const bool hidden = start.how == StartHow::Hidden;
    if (hidden) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
    }
    // Suspended until it is in its job: nothing it starts may escape it.
    const bool inJob = hidden && start.job;
    PROCESS_INFORMATION started = {};
    if (!::CreateProcessW(start.path.c_str(), commandLine.data(), nullptr, nullptr, !hidden,
                          (hidden ? CREATE_NO_WINDOW : 0) | (inJob ? CREATE_SUSPENDED : 0),
                          nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &started))
        return ::GetLastError();
    if (inJob) {
        // No KILL_ON_JOB_CLOSE: what an installer that ended in time leaves
        // running (the tool it started) is not ours to end.
        start.job->reset(::CreateJobObjectW(nullptr, nullptr));
        if (*start.job && !::AssignProcessToJobObject(start.job->get(), started.hProcess)) {
            Diag(L"[Pelmora]" + start.path + L" runs outside a job of its own (" +
                 std::to_wstring(::GetLastError()) +
                 L"): only it can be ended, not what it starts\n");
            start.job->reset();
        }
        ::ResumeThread(started.hThread);
    }
    ::CloseHandle(started.hThread);
    if (process)
        process->reset(started.hProcess);
    else
        ::CloseHandle(started.hProcess);
    return ERROR_SUCCESS;
}

}  // namespace

std::wstring SystemProgram(const wchar_t* fileName) {
    wchar_t folder[MAX_PATH] = {};
    const UINT n = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    return std::wstring(folder, n) + L"\\" + fileName;
}

DWORD StartProgram(const ProgramStart& start, Handle* process) {
    // Pelmora going on with a script's line keeps the script's folder: a
    // relative result file means the same file to both.
    const std::wstring folder = !start.folder.empty() || start.how == StartHow::SameConsole
                                    ? start.folder
                                    : FolderOf(start.path);
    return start.how == StartHow::Shell ? ShellStart(start, folder, process)
                                        : DirectStart(start, folder, process);
}

std::optional<DWORD> WaitForExit(HANDLE process, DWORD timeoutMs) {
    if (::WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    if (!::GetExitCodeProcess(process, &code)) return std::nullopt;
    return code;
}

bool EndProgram(HANDLE process, HANDLE job, DWORD waitMs) {
    const BOOL ended = job ? ::TerminateJobObject(job, ERROR_TIMEOUT)
                           : ::TerminateProcess(process, ERROR_TIMEOUT);
    if (!ended)
        Diag(L"[Pelmora]The program could not be ended (" + std::to_wstring(::GetLastError()) +
             L")\n");
    return ::WaitForSingleObject(process, waitMs) == WAIT_OBJECT_0;
}

}  // namespace win
