// Starting another program: the one way for installers, installed tools,
// the release note's viewer and Pelmora itself.
#pragma once
#include "win/handles_win.h"

#include <windows.h>

#include <optional>
#include <string>

namespace win {

enum class StartHow {
    Shell,        // the shell's "open", shown: an installer that needs elevation asks
                  // for it
    Hidden,       // directly, without a window: a script's silent installer
    SameConsole,  // directly, inheriting this process's output handles
};

struct ProgramStart {
    std::wstring path;       // a full path; a system program's from SystemProgram
    std::wstring arguments;  // may be empty
    std::wstring folder;     // the working folder; empty: the folder of `path`
                             // (SameConsole: ours)
    StartHow how = StartHow::Shell;
    HWND owner = nullptr;  // Shell: owner of the system's own prompts; borrowed
    // Hidden: given, it is filled with a job the program and every process it
    // starts run in, for EndProgram. Left empty where the system allows none:
    // Windows 7 does not nest jobs, and a scheduled task already runs in one.
    Handle* job = nullptr;
};

// ERROR_SUCCESS once it runs, with `process` (when asked for) holding its
// handle; the shell may hand a document to a program already running and
// give none. Otherwise the Win32 error (ERROR_CANCELLED: the user declined
// elevation); the caller logs it with what it was starting.
DWORD StartProgram(const ProgramStart& start, Handle* process = nullptr);

// `fileName` in the system folder (System32), by full path: never a program of
// that name found first in the current folder or on the search path.
std::wstring SystemProgram(const wchar_t* fileName);

// The exit code of `process` (borrowed) once it ends within `timeoutMs`;
// nullopt while it still runs.
std::optional<DWORD> WaitForExit(HANDLE process, DWORD timeoutMs);

// Ends a program StartProgram started: every process of `job` when there is
// one, else `process` alone. True once `process` is gone (within `waitMs`).
bool EndProgram(HANDLE process, HANDLE job, DWORD waitMs);

}  // namespace win
