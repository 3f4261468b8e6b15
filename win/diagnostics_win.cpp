#include "win/diagnostics_win.h"

#include "win/files_win.h"
#include "win/handles_win.h"
#include "win/text_win.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace win {

// "x.log" -> "x.old.log"; a name without an extension gets ".old".
std::wstring OldLogPath(const std::wstring& path) {
    const size_t dot = path.rfind(L'.');
    const size_t slash = path.find_last_of(L"\\/");
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash))
        return path + L".old";
    return path.substr(0, dot) + L".old" + path.substr(dot);
}

namespace {

std::wstring OverridePath() {
    wchar_t buffer[MAX_PATH * 2] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"PELMORA_LOG", buffer, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) return {};
    return std::wstring(buffer, n);
}

// Not through a link: a run elevated or not must not append to, or cut, a
// file a neighbour pointed its log at. Refused quietly: this is the log.
File OpenChecked(const std::wstring& path, DWORD access, DWORD disposition) {
    if (!LinkOnPath(path).empty()) return File();
    // Others may read it, and move it aside, while a run writes.
    File file(::CreateFileW(path.c_str(), access,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                            nullptr));
    if (file && OpenedThroughLink(file.get(), path)) return File();
    return file;
}

File OpenForAppend(const std::wstring& path) {
    return OpenChecked(path, FILE_APPEND_DATA, OPEN_ALWAYS);
}

// One line is one WriteFile to a local file under the lock: short enough for
// the window thread, and nothing is lost when the process dies.
class LogSink {
  public:
    LogSink() : overridePath_(OverridePath()) {}

    void Write(std::string bytes) {
        const std::lock_guard<std::mutex> guard(lock_);
        if (!overridePath_.empty()) {
            // Opened for each line, so a reader may move or remove it at any time.
            File file = OpenForAppend(overridePath_);
            LARGE_INTEGER size{};
            if (file && ::GetFileSizeEx(file.get(), &size) &&
                static_cast<uint64_t>(size.QuadPart) + bytes.size() > kLogFileMaxBytes) {
                file.reset();
                file = StartOver(overridePath_, OldLogPath(overridePath_));
            }
            Append(file.get(), bytes);
            return;
        }
        if (!file_) {
            if (early_.size() + bytes.size() <= kEarlyLinesMaxBytes) early_ += bytes;
            return;
        }
        if (size_ + bytes.size() > kLogFileMaxBytes) Rotate();
        if (Append(file_.get(), bytes)) size_ += bytes.size();
    }

    void Keep(const std::wstring& folder) {
        const std::lock_guard<std::mutex> guard(lock_);
        if (!overridePath_.empty() || file_) return;
        path_ = folder + L"pelmora.log";
        oldPath_ = folder + L"pelmora.old.log";
        file_ = OpenForAppend(path_);
        if (!file_) return;
        LARGE_INTEGER size{};
        size_ = ::GetFileSizeEx(file_.get(), &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
        std::string lines = RunHeading() + early_;
        early_.clear();
        early_.shrink_to_fit();
        if (size_ + lines.size() > kLogFileMaxBytes) Rotate();
        if (Append(file_.get(), lines)) size_ += lines.size();
    }

  private:
    static bool Append(HANDLE file, const std::string& bytes) {
        DWORD written = 0;
        return file != INVALID_HANDLE_VALUE &&
               ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                           nullptr) &&
               written == bytes.size();
    }

    static std::string RunHeading() {
        SYSTEMTIME now{};
        ::GetSystemTime(&now);
        char text[128];
        snprintf(text, sizeof text,
                 "\n[Pelmora]---- run of %04u-%02u-%02u %02u:%02u:%02u UTC, process %lu ----\n",
                 now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                 static_cast<unsigned long>(::GetCurrentProcessId()));
        return text;
    }

    // The full file becomes the old one; a new one starts.
    static File StartOver(const std::wstring& path, const std::wstring& oldPath) {
        ::MoveFileExW(path.c_str(), oldPath.c_str(), MOVEFILE_REPLACE_EXISTING);
        // When the move failed (the old file held open), starting over still
        // keeps the cap: emptied through a checked handle, never by
        // CREATE_ALWAYS, which would cut whatever was planted at the name.
        if (const File file = OpenChecked(path, FILE_WRITE_DATA, OPEN_ALWAYS))
            ::SetEndOfFile(file.get());
        return OpenForAppend(path);
    }

    void Rotate() {
        file_.reset();
        file_ = StartOver(path_, oldPath_);
        size_ = 0;
    }

    std::mutex lock_;
    const std::wstring overridePath_;
    std::wstring path_;
    std::wstring oldPath_;
    File file_;
    uint64_t size_ = 0;
    std::string early_;
};

LogSink& Sink() {
    // Never destroyed: threads still running at exit may write a last line.
    static LogSink* const sink = new LogSink;
    return *sink;
}

}  // namespace

std::wstring WithoutUserInfo(std::wstring_view line) {
    std::wstring text(line);
    for (size_t scheme = text.find(L"://"); scheme != std::wstring::npos;
         scheme = text.find(L"://", scheme + 3)) {
        const size_t start = scheme + 3;
        // The authority ends at the path, query, fragment or the end of the word.
        const size_t end = text.find_first_of(L"/?#\\ \t\r\n\"'<>", start);
        const size_t at = text.rfind(L'@', end == std::wstring::npos ? text.size() : end - 1);
        if (at != std::wstring::npos && at >= start && (end == std::wstring::npos || at < end))
            text.erase(start, at + 1 - start);
    }
    return text;
}

void Diag(std::wstring_view line) {
    // The log is readable by every user of the machine: no password goes there.
    const std::wstring text = WithoutUserInfo(line);
    ::OutputDebugStringW(text.c_str());
    std::string bytes = ToUtf8(text);
    if (bytes.empty() || bytes.back() != '\n') bytes.push_back('\n');
    Sink().Write(std::move(bytes));
}

void KeepLogIn(const std::wstring& folder) { Sink().Keep(folder); }

}  // namespace win
