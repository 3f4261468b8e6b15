// The application object: single-instance guard, common controls, then the
// main window as a modal dialog. The process ends when the dialog ends.
#pragma once
#include <windows.h>

#include <string>

namespace pelmora {

class CPelmoraDlg;

class CPelmoraApp {
public:
    explicit CPelmoraApp(std::wstring commandLine) : m_lpCmdLine(std::move(commandLine)) {}

    // Always false: the work is done inside the modal dialog.
    bool InitInstance();

    const std::wstring& CommandLine() const noexcept { return m_lpCmdLine; }
    bool QuietMode() const noexcept { return !m_lpCmdLine.empty(); }
    CPelmoraDlg* MainWindow() const noexcept { return m_pMainWnd; }

private:
    std::wstring m_lpCmdLine;
    CPelmoraDlg* m_pMainWnd = nullptr;  // set while the dialog runs
};

// The application object of this process (set by the entry point).
CPelmoraApp& TheApp();

}  // namespace pelmora
