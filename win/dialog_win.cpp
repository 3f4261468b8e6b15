#include "win/dialog_win.h"

namespace win {

Dialog::~Dialog() {
    // A modeless window must not outlive the object that handles its messages.
    Destroy();
}

INT_PTR Dialog::DoModal(HWND parent) {
    modal_ = true;
    const INT_PTR result = ::DialogBoxParamW(::GetModuleHandleW(nullptr),
                                             MAKEINTRESOURCEW(templateId_), parent, &Dialog::Proc,
                                             reinterpret_cast<LPARAM>(this));
    modal_ = false;
    return result;
}

bool Dialog::Create(HWND parent) {
    if (hwnd_) return true;
    modal_ = false;
    return ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), parent,
                                &Dialog::Proc, reinterpret_cast<LPARAM>(this)) != nullptr;
}

void Dialog::Destroy() noexcept {
    if (hwnd_ && !modal_) ::DestroyWindow(hwnd_);
}

void Dialog::EndDialog(INT_PTR result) noexcept {
    if (!hwnd_) return;
    if (modal_)
        ::EndDialog(hwnd_, result);
    else
        ::DestroyWindow(hwnd_);
}

bool Dialog::OnCommand(WORD id, WORD, HWND) {
    if (id == IDOK || id == IDCANCEL) {
        EndDialog(id);
        return true;
    }
    return false;
}

void Dialog::OnClose() { EndDialog(IDCANCEL); }

INT_PTR Dialog::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        return OnCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp)) ? TRUE : FALSE;
    case WM_CLOSE:
        OnClose();
        return TRUE;
    case WM_DESTROY:
        OnDestroy();
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK Dialog::Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
    Dialog* self = nullptr;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lp);
        self->hwnd_ = wnd;
        ::SetWindowLongPtrW(wnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(wnd, DWLP_USER));
    }
    if (!self) return FALSE;
    INT_PTR result = FALSE;
    try {
        result = self->HandleMessage(msg, wp, lp);
    } catch (...) {
        // No exception may cross into the system's dispatcher.
        result = FALSE;
    }
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(wnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
    }
    return result;
}

std::wstring GetWindowTextString(HWND wnd) {
    const int length = ::GetWindowTextLengthW(wnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(wnd, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

void SetWindowTextString(HWND wnd, const std::wstring& text) { ::SetWindowTextW(wnd, text.c_str()); }

std::wstring GetClassNameString(HWND wnd) {
    wchar_t name[256] = {};
    const int length = ::GetClassNameW(wnd, name, 256);
    return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

}  // namespace win
