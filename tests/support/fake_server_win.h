// A stand-in for the update server: a folder in the prefix whose files are
// "fetched" by copying, with a log of requests and failures chosen per file.
#pragma once
#include "download/server_files_win.h"
#include "ui/prompt_win.h"
#include "win/files_win.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace testsupport {

class FakeServer {
public:
    static constexpr wchar_t kOrigin[] = L"http://server.test/";
    static constexpr wchar_t kBaseUrl[] = L"http://server.test/tools/";

    // Files live below `folder`; a URL's path after the origin names them.
    explicit FakeServer(std::wstring folder) : folder_(std::move(folder)) {}

    // The next fetches of this path return `result` without touching the destination.
    void Fail(const std::wstring& path, HRESULT result) { failures_[path] = result; }
    void Heal(const std::wstring& path) { failures_.erase(path); }

    // Paths requested, in order.
    const std::vector<std::wstring>& Requests() const { return requests_; }
    void ClearRequests() { requests_.clear(); }

    pelmora::Downloader Downloader() {
        return [this](const std::wstring& url, const std::wstring& localPath, DWORD) -> HRESULT {
            const std::wstring origin = kOrigin;
            if (url.compare(0, origin.size(), origin) != 0) return E_INVALIDARG;
            std::wstring path = url.substr(origin.size());
            requests_.push_back(path);
            const auto failure = failures_.find(path);
            if (failure != failures_.end()) return failure->second;
            for (wchar_t& c : path)
                if (c == L'/') c = L'\\';
            if (!win::FileExists(folder_ + L"\\" + path)) return 0x800C0005;  // not found
            // Whole or not at all, as the real transfer replaces files.
            if (!::CopyFileW((folder_ + L"\\" + path).c_str(), localPath.c_str(), FALSE))
                return HRESULT_FROM_WIN32(::GetLastError());
            return S_OK;
        };
    }

private:
    std::wstring folder_;
    std::map<std::wstring, HRESULT> failures_;
    std::vector<std::wstring> requests_;
};

// Answers every question with `answer` and keeps what was shown.
class RecordingPrompt final : public pelmora::Prompt {
public:
    struct Shown {
        std::wstring text;
        UINT type;
    };
    int answer = IDYES;
    std::vector<Shown> shown;

    int Show(const std::wstring& text, UINT type) override {
        shown.push_back({text, type});
        return answer;
    }
};

}  // namespace testsupport
