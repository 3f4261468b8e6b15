#include "win/prompt_win.h"

namespace pelmora {

int MessageBoxPrompt::Show(const std::wstring& text, UINT type) {
    return ::MessageBoxW(owner_, text.c_str(), L"Pelmora", type);
}

}  // namespace pelmora
