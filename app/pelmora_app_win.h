// The application object: single-instance guard, common controls, then the
// main window as a modal dialog. The process ends when the dialog ends.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

namespace pelmora {

class CPelmoraDlg;
class Session;

class CPelmoraApp {
public:
    // `session` outlives the application object.
    CPelmoraApp(Session& session, std::wstring commandLine)
        : session_(session), m_lpCmdLine(std::move(commandLine)) {}

    // Always false: the work is done inside the modal dialog.
    bool InitInstance();

    const std::wstring& CommandLine() const noexcept { return m_lpCmdLine; }
    bool QuietMode() const noexcept { return !m_lpCmdLine.empty(); }
    CPelmoraDlg* MainWindow() const noexcept { return m_pMainWnd; }

private:
    Session& session_;
    std::wstring m_lpCmdLine;
    CPelmoraDlg* m_pMainWnd = nullptr;  // set while the dialog runs
};

// Ends the process now, once `why` (if any) is in the log. Transfers still running are
// abandoned, not waited for: a blocked read may never return (Wine cannot
// wake it), and what they write is staged beside its file and put in place
// only for a caller that still waits, so nothing they leave can matter.
[[noreturn]] void EndProcess(std::wstring_view why) noexcept;

}  // namespace pelmora
