// Stands in for an installed program: writes where it was started from and
// its working folder into "started.txt" in that working folder, then exits.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t module[MAX_PATH] = {};
    wchar_t folder[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, module, MAX_PATH);
    ::GetCurrentDirectoryW(MAX_PATH, folder);
    const std::wstring text = std::wstring(module) + L"\n" + folder;
    HANDLE file = ::CreateFileW(L"started.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written,
                nullptr);
    ::CloseHandle(file);
    return 0;
}
