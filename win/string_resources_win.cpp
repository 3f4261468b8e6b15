#include "win/string_resources_win.h"

namespace win {
namespace {
// British English until the settings have been applied on this thread.
thread_local LANGID g_threadStringLanguage = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK);
}  // namespace

std::wstring LoadStringLang(UINT id, LANGID lang) {
    // Strings live in blocks of 16; block n holds ids (n-1)*16 .. n*16-1,
    // each as a length word followed by that many UTF-16 units.
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC block = ::FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), lang);
    if (!block) return {};
    HGLOBAL loaded = ::LoadResource(module, block);
    const auto* p = static_cast<const WCHAR*>(loaded ? ::LockResource(loaded) : nullptr);
    if (!p) return {};
    const DWORD blockBytes = ::SizeofResource(module, block);
    const WCHAR* end = p + blockBytes / sizeof(WCHAR);
    for (UINT i = 0; i < id % 16; ++i) {
        if (p >= end) return {};
        p += 1 + *p;
    }
    if (p >= end) return {};
    const size_t length = *p;
    if (p + 1 + length > end) return {};
    return std::wstring(p + 1, length);
}

void SetThreadStringLanguage(LANGID lang) noexcept { g_threadStringLanguage = lang; }

LANGID ThreadStringLanguage() noexcept { return g_threadStringLanguage; }

std::wstring LoadText(UINT id) {
    std::wstring text = LoadStringLang(id, g_threadStringLanguage);
    if (text.empty()) text = LoadStringLang(id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK));
    return text;
}

}  // namespace win
