// Ends with the exit code its command line names: an installer's stand-in.
#include <windows.h>

#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
    return static_cast<int>(std::wcstoul(arguments, nullptr, 10));
}
