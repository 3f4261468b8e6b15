// String resources loaded in an explicitly given language. The thread's UI
// language is not used: SetThreadUILanguage does nothing under Wine, and
// the worker thread must speak the same language as the window thread.
#pragma once
#include <windows.h>

#include <string>

namespace win {

// The string `id` of the table stored under `lang`; empty when that table or
// that id does not exist.
std::wstring LoadStringLang(UINT id, LANGID lang);

// The string-table language used by LoadText on the calling thread.
void SetThreadStringLanguage(LANGID lang) noexcept;
LANGID ThreadStringLanguage() noexcept;

// LoadStringLang in the calling thread's string-table language.
std::wstring LoadText(UINT id);

}  // namespace win
