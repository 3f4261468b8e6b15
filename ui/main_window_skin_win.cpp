#include "ui/main_window_skin_win.h"

#include "resource_ids.h"
#include "string_ids.h"
#include "win/string_resources_win.h"

namespace pelmora {

void MainWindowSkin::Attach(HWND window) { window_ = window; }

void MainWindowSkin::LayOut() {
    ::SetWindowPos(window_, nullptr, 0, 0, 700, 400, SWP_NOMOVE | SWP_NOZORDER);
    const struct {
        int id, x, y, w, h;
    } places[] = {{IDC_BTN_MINIMUM, 639, 0, 31, 32},
                  {IDC_BTN_CLOSE, 668, 0, 32, 32},
                  {IDC_BTN_SETTING, 541, 0, 91, 31},
                  {IDC_BTN_START, 450, 354, 230, 26},
                  {IDC_BTN_CANCEL, 580, 354, 100, 26}};
    for (const auto& p : places)
        ::SetWindowPos(::GetDlgItem(window_, p.id), nullptr, p.x, p.y, p.w, p.h, SWP_NOZORDER);
    ::EnableWindow(::GetDlgItem(window_, IDC_BTN_START), FALSE);
    ::ShowWindow(::GetDlgItem(window_, IDC_BTN_CANCEL), SW_HIDE);
    RefreshTexts();
}

void MainWindowSkin::RefreshTexts() {
    ::SetDlgItemTextW(window_, IDC_BTN_SETTING, win::LoadText(IDS_SETTING).c_str());
    ::SetDlgItemTextW(window_, IDC_BTN_START, win::LoadText(IDS_START_INSTALL).c_str());
    ::SetDlgItemTextW(window_, IDC_BTN_CANCEL, win::LoadText(IDS_CANCEL).c_str());
}

bool MainWindowSkin::HandleMessage(UINT msg, WPARAM wp, LPARAM, INT_PTR&) {
    if (msg == WM_COMMAND && LOWORD(wp) == IDC_BTN_CLOSE) {
        ::PostMessageW(window_, WM_CLOSE, 0, 0);
        return true;
    }
    if (msg == WM_COMMAND && LOWORD(wp) == IDC_BTN_MINIMUM) {
        ::ShowWindow(window_, SW_MINIMIZE);
        return true;
    }
    return false;
}

}  // namespace pelmora
