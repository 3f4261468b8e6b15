#include "app/pelmora_dlg_win.h"

#include "app/interface_language_win.h"
#include "resource_ids.h"
#include "win/diagnostics_win.h"

namespace pelmora {

CPelmoraDlg::CPelmoraDlg(bool quietMode, std::wstring commandLine)
    : win::Dialog(IDD_PELMORA_DIALOG), quietMode_(quietMode), commandLine_(std::move(commandLine)) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    icon_.reset(static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_PELMORA), IMAGE_ICON,
                                                ::GetSystemMetrics(SM_CXICON),
                                                ::GetSystemMetrics(SM_CYICON), 0)));
    smallIcon_.reset(static_cast<HICON>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(IDI_PELMORA), IMAGE_ICON,
                     ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0)));
}

BOOL CPelmoraDlg::OnInitDialog() {
    ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.get()));
    ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
    ::SetWindowTextW(hwnd(), L"Pelmora v1.3.2");
    ::SetWindowPos(hwnd(), nullptr, 0, 0, 700, 400, SWP_NOMOVE | SWP_NOZORDER);

    ReadSettings(settings_);
    win::Diag(L"[Pelmora]Interface language " + std::to_wstring(settings_.language) +
              L", server region " + std::to_wstring(settings_.region) + L"\n");
    return TRUE;
}

}  // namespace pelmora
