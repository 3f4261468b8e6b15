#include "win/diagnostics_win.h"

#include "win/handles_win.h"
#include "win/text_win.h"

#include <mutex>
#include <string>

namespace win {
namespace {

std::wstring LogPath() {
    wchar_t buffer[MAX_PATH * 2] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"PELMORA_LOG", buffer, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) return {};
    return std::wstring(buffer, n);
}

}  // namespace

void Diag(std::wstring_view line) {
    const std::wstring text(line);
    ::OutputDebugStringW(text.c_str());

    static const std::wstring path = LogPath();
    if (path.empty()) return;
    static std::mutex lock;  // keeps lines of different threads whole
    const std::lock_guard<std::mutex> guard(lock);
    File file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    std::string bytes = ToUtf8(text);
    if (bytes.empty() || bytes.back() != '\n') bytes.push_back('\n');
    DWORD written = 0;
    ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace win
