#include "app/self_update/self_step_aside_win.h"

#include "catalogue/model/install_detection.h"
#include "catalogue/model/install_detection_win.h"
#include "win/diagnostics_win.h"
#include "win/files_win.h"
#include "win/handles_win.h"
#include "win/text_win.h"

#include <windows.h>

#include <cwchar>

namespace pelmora {
namespace {

// "<installed>.<pid>.old": the running image stepped aside; "<pid>.new": the
// copy on its way to the installed path.
std::wstring Beside(const std::wstring& installed, DWORD pid, const wchar_t* kind) {
    return installed + L"." + std::to_wstring(pid) + L"." + kind;
}

bool SameFile(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool ProcessRuns(DWORD pid) {
    const win::Handle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
    return process && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

// The pid in "Pelmora.exe.<pid>.old"; 0 when the name is not one of ours.
DWORD PidOf(const std::wstring& name, const std::wstring& prefix, const wchar_t* suffix) {
    const size_t suffixLength = std::wcslen(suffix);
    if (name.size() <= prefix.size() + suffixLength ||
        !SameFile(name.substr(0, prefix.size()), prefix) ||
        !SameFile(name.substr(name.size() - suffixLength), suffix))
        return 0;
    const std::wstring digits =
        name.substr(prefix.size(), name.size() - prefix.size() - suffixLength);
    if (digits.empty() || digits.size() > 10) return 0;
    unsigned long long pid = 0;
    for (const wchar_t c : digits) {
        if (c < L'0' || c > L'9') return 0;
        pid = pid * 10 + (c - L'0');
    }
    return pid <= 0xFFFFFFFFull ? static_cast<DWORD>(pid) : 0;
}

}  // namespace

std::wstring InstalledPelmoraPath() {
    return win::ToWide(SelfExecutableIn(win::ToU16(FindSelfInstall().folder)));
}

SelfStepAside::SelfStepAside(const std::wstring& ownPath, const std::wstring& installed) {
    if (ownPath.empty() || installed.empty() || !SameFile(ownPath, installed)) return;
    const DWORD pid = ::GetCurrentProcessId();
    const std::wstring aside = Beside(installed, pid, L"old");
    const std::wstring staged = Beside(installed, pid, L"new");
    // The copy first: without it the running file stays where it is, and
    // the installer fails on it rather than leave the path empty.
    if (!::CopyFileW(installed.c_str(), staged.c_str(), TRUE)) {
        win::Diag(L"[Pelmora]Pelmora.exe could not be copied for its update (" +
                  win::ErrorCodeText(::GetLastError()) + L"); it stays where it is\n");
        return;
    }
    if (!::MoveFileExW(installed.c_str(), aside.c_str(), 0)) {
        win::Diag(L"[Pelmora]Pelmora.exe could not step aside (" +
                  win::ErrorCodeText(::GetLastError()) + L")\n");
        ::DeleteFileW(staged.c_str());
        return;
    }
    if (!::MoveFileExW(staged.c_str(), installed.c_str(), 0)) {
        ::MoveFileExW(aside.c_str(), installed.c_str(), 0);
        ::DeleteFileW(staged.c_str());
        return;
    }
    installed_ = installed;
    aside_ = aside;
    win::Diag(L"[Pelmora]Pelmora.exe stepped aside to " + aside_ + L"\n");
}

SelfStepAside::~SelfStepAside() {
    if (aside_.empty()) return;
    if (!win::FileExists(installed_))  // the installer removed it and failed
        ::MoveFileExW(aside_.c_str(), installed_.c_str(), 0);
    else  // the program image holds it until this process ends
        ::MoveFileExW(aside_.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

void RecoverSelfStepAside() {
    const std::wstring installed = InstalledPelmoraPath();
    if (installed.empty()) return;
    const size_t slash = installed.rfind(L'\\');
    const std::wstring folder = installed.substr(0, slash + 1);
    const std::wstring prefix = installed.substr(slash + 1) + L".";
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW((installed + L".*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        const std::wstring name = found.cFileName;
        const DWORD old = PidOf(name, prefix, L".old");
        const DWORD pid = old ? old : PidOf(name, prefix, L".new");
        if (!pid || pid == ::GetCurrentProcessId() || ProcessRuns(pid)) continue;
        const std::wstring path = folder + name;
        if (old && !win::FileExists(installed) &&
            ::MoveFileExW(path.c_str(), installed.c_str(), 0)) {
            win::Diag(L"[Pelmora]Pelmora.exe was missing; brought back from " + path + L"\n");
            continue;
        }
        if (::DeleteFileW(path.c_str()))
            win::Diag(L"[Pelmora]Deleted " + path + L", left by an interrupted update\n");
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

}  // namespace pelmora
