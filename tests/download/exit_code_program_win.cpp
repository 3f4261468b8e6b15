// Ends with the exit code its command line names: an installer's stand-in.
// "hang" never ends, and starts a copy of itself that never ends either;
// both hold an event named kHangingEvent, gone once both are.
#include <windows.h>

#include <cwchar>

namespace {
constexpr wchar_t kHangingEvent[] = L"pelmora-test-hanging-installer";
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
    if (std::wcsncmp(arguments, L"hang", 4) != 0)
        return static_cast<int>(std::wcstoul(arguments, nullptr, 10));
    ::CreateEventW(nullptr, TRUE, FALSE, kHangingEvent);
    if (std::wcscmp(arguments, L"hang") == 0) {
        wchar_t self[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        wchar_t line[] = L"child hang-child";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION child = {};
        ::CreateProcessW(self, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                         &child);
    }
    ::Sleep(INFINITE);
    return 0;
}
