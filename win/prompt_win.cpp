#include "win/prompt_win.h"

#include "win/diagnostics_win.h"

namespace pelmora {

int MessageBoxPrompt::Show(const std::wstring& text, UINT type) {
    return ::MessageBoxW(owner_, text.c_str(), L"Pelmora", type);
}

int LogPrompt::Show(const std::wstring& text, UINT type) {
    win::Diag(L"[Pelmora]Not shown (no windows in this run): " + text + L"\n");
    switch (type & MB_TYPEMASK) {
    case MB_OK: return IDOK;
    case MB_YESNO: return IDNO;
    default: return IDCANCEL;
    }
}

}  // namespace pelmora
