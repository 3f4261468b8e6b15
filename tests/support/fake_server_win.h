// A stand-in for the update server: files below a folder in the prefix,
// "fetched" by copying them whole, with a request log and chosen failures.
#pragma once
#include "download/transfer/server_files_win.h"
#include "win/prompt_win.h"

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

class FakeServer {
  public:
    static constexpr wchar_t kBaseUrl[] = L"http://server.test/tools/";
    explicit FakeServer(std::wstring folder) : folder_(std::move(folder)) {}

    // Fetches of `path` (the URL after its host, whatever the host) return `result`.
    void Fail(const std::wstring& path, HRESULT result) { failures_[path] = result; }
    void Heal(const std::wstring& path) { failures_.erase(path); }
    std::vector<std::wstring> requests;  // paths, in order
    std::function<void(const std::wstring& path)> onRequest;  // called before each answer

    // Each answer that is not a chosen failure comes this much later.
    DWORD latencyMs = 0;
    // Safe from several threads at once: the request log and onRequest are
    // serialised, the copies are not.
    pelmora::Downloader Downloader() {
        return [this](const std::wstring& url, const std::wstring& localPath, DWORD) -> HRESULT {
            std::wstring path = url.substr(url.find(L'/', url.find(L"//") + 2) + 1);
            {
                const std::lock_guard<std::mutex> guard(lock_);
                requests.push_back(path);
                if (onRequest) onRequest(path);
                if (failures_.count(path)) return failures_[path];
            }
            if (latencyMs) ::Sleep(latencyMs);
            for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
            if (!::CopyFileW((folder_ + L"\\" + path).c_str(), localPath.c_str(), FALSE))
                return 0x800C0005;  // not found
            return S_OK;
        };
    }

  private:
    std::wstring folder_;
    std::map<std::wstring, HRESULT> failures_;
    std::mutex lock_;
};

// Answers every question with `answer` and keeps what was shown.
struct RecordingPrompt final : pelmora::Prompt {
    int answer = IDYES;
    std::vector<std::pair<std::wstring, UINT>> shown;
    int Show(const std::wstring& text, UINT type) override {
        shown.emplace_back(text, type);
        return answer;
    }
};

}  // namespace testsupport
