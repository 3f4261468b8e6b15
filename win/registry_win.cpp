#include "win/registry_win.h"

#include <vector>

namespace win {

RegKey OpenLocalMachineKey(const std::wstring& path) {
    for (const REGSAM view : {REGSAM{0}, REGSAM{KEY_WOW64_32KEY}}) {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) ==
            ERROR_SUCCESS)
            return RegKey(key);
    }
    return RegKey();
}

bool ReadStringValue(HKEY key, const wchar_t* name, DWORD maxBytes, std::wstring& value) {
    // One spare wide character so an odd byte count still ends inside the buffer.
    std::vector<wchar_t> buffer(maxBytes / sizeof(wchar_t) + 1, L'\0');
    DWORD type = 0;
    DWORD bytes = maxBytes;
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                           &bytes) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    const size_t count = bytes / sizeof(wchar_t);
    size_t length = 0;
    while (length < count && buffer[length] != L'\0') ++length;
    value.assign(buffer.data(), length);
    return true;
}

}  // namespace win
