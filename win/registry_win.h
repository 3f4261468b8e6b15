// Reading the local-machine registry the way a 64-bit program must for
// installers of either width: its own view first, then the 32-bit view, where
// 32-bit installers register themselves.
#pragma once
#include "win/handles_win.h"

#include <string>

namespace win {

// Opens `path` below HKEY_LOCAL_MACHINE for reading (KEY_READ). Tries the
// native view, then the 32-bit view; an empty owner when neither has it.
RegKey OpenLocalMachineKey(const std::wstring& path);

// Reads the string value `name` through a buffer of `maxBytes` bytes (the
// terminating NUL included when stored). False when the value is missing,
// is not a string, or does not fit. A value stored without its NUL is read
// no further than its data.
bool ReadStringValue(HKEY key, const wchar_t* name, DWORD maxBytes, std::wstring& value);

}  // namespace win
