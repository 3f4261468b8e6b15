#include "download/sync/startup_prefetch_win.h"

#include "download/transfer/download_to_file_win.h"
#include "download/transfer/painting_wait_win.h"
#include "download/transfer/proxy_credentials_win.h"
#include "win/diagnostics_win.h"
#include "win/files_win.h"
#include "win/handles_win.h"
#include "win/text_win.h"
#include "win/thread_win.h"

#include <map>
#include <mutex>

namespace pelmora {

struct PrefetchEntry {
    std::wstring url;
    std::wstring stagingPath;
    DWORD timeoutMs = 0;
    win::Handle done;  // manual reset, set when the fetch ended
    HRESULT result = E_PENDING;
    bool abandoned = false;  // nobody will take it: the fetch removes its file
};

struct StartupPrefetch::State {
    Downloader transport;
    Downloader ahead;
    std::mutex lock;
    std::map<std::wstring, std::shared_ptr<PrefetchEntry>> waiting;  // by URL, not handed over
};

namespace {

void Fetch(StartupPrefetch::State& state, PrefetchEntry& entry) noexcept {
    HRESULT result = E_OUTOFMEMORY;
    try {
        result = state.ahead(entry.url, entry.stagingPath, entry.timeoutMs);
    } catch (...) {
        result = E_OUTOFMEMORY;
    }
    const std::lock_guard<std::mutex> guard(state.lock);
    entry.result = result;
    if (entry.abandoned) ::DeleteFileW(entry.stagingPath.c_str());  // may not exist
    ::SetEvent(entry.done.get());
}

HRESULT HandOver(PrefetchEntry& entry, std::mutex& lock, const std::wstring& localPath) {
    const HANDLE done = entry.done.get();
    const DWORD wait = WaitKeepingWindowsPainted(1, &done, INFINITE);
    const std::lock_guard<std::mutex> guard(lock);
    if (wait != WAIT_OBJECT_0) {
        const HRESULT failure = HRESULT_FROM_WIN32(::GetLastError());
        entry.abandoned = true;
        return failure == S_OK ? E_FAIL : failure;
    }
    HRESULT result = entry.result;
    if (result == S_OK && !win::MoveReplacing(entry.stagingPath, localPath))
        result = HRESULT_FROM_WIN32(::GetLastError());
    if (result != S_OK) ::DeleteFileW(entry.stagingPath.c_str());  // may not exist
    return result;
}

}  // namespace

StartupPrefetch::StartupPrefetch(Downloader transport, const std::vector<std::wstring>& urls,
                                 const std::wstring& stagingFolder, DWORD timeoutMs)
    : StartupPrefetch(transport, transport, urls, stagingFolder, timeoutMs) {}

StartupPrefetch::StartupPrefetch(Downloader transport, Downloader ahead,
                                 const std::vector<std::wstring>& urls,
                                 const std::wstring& stagingFolder, DWORD timeoutMs)
    : state_(std::make_shared<State>()) {
    state_->transport = std::move(transport);
    state_->ahead = std::move(ahead);
    for (size_t i = 0; i < urls.size(); ++i) {
        auto entry = std::make_shared<PrefetchEntry>();
        entry->url = urls[i];
        entry->stagingPath = win::TemporaryNameBeside(stagingFolder + L"prefetch" + std::to_wstring(i));
        entry->timeoutMs = timeoutMs;
        entry->done.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!entry->done) continue;  // fetched in its turn instead
        const bool started = win::StartDetachedThread(
            [state = state_, entry] { Fetch(*state, *entry); }, 256 * 1024);
        if (!started) {
            win::Diag(L"[Pelmora]Prefetch of " + urls[i] + L" not started: " +
                      win::ErrorCodeText(::GetLastError()) + L"\n");
            continue;
        }
        const std::lock_guard<std::mutex> guard(state_->lock);
        state_->waiting.emplace(urls[i], std::move(entry));
    }
}

StartupPrefetch::~StartupPrefetch() { Discard(); }

void StartupPrefetch::Discard() {
    const std::lock_guard<std::mutex> guard(state_->lock);
    for (auto& [url, entry] : state_->waiting) {
        entry->abandoned = true;
        if (entry->result != E_PENDING) ::DeleteFileW(entry->stagingPath.c_str());
    }
    state_->waiting.clear();
}

namespace {

HRESULT Serve(StartupPrefetch::State& state, std::shared_ptr<PrefetchEntry> entry,
              const std::wstring& url, const std::wstring& localPath, DWORD timeoutMs) {
    if (!entry) return state.transport(url, localPath, timeoutMs);
    const HRESULT result = HandOver(*entry, state.lock, localPath);
    // Fetched before the user could answer the proxy's prompt: ask again now.
    if (result == kDownloadProxyAuthRequired) return state.transport(url, localPath, timeoutMs);
    return result;
}

// One fetch taken out of the prefetch; given up when nobody took it.
struct KeptEntry {
    std::shared_ptr<StartupPrefetch::State> state;
    std::shared_ptr<PrefetchEntry> entry;  // under the state's lock
    ~KeptEntry() {
        const std::lock_guard<std::mutex> guard(state->lock);
        if (!entry) return;
        entry->abandoned = true;
        if (entry->result != E_PENDING) ::DeleteFileW(entry->stagingPath.c_str());
    }
};

}  // namespace

Downloader StartupPrefetch::Serving() const {
    return [state = state_](const std::wstring& url, const std::wstring& localPath,
                            DWORD timeoutMs) -> HRESULT {
        std::shared_ptr<PrefetchEntry> entry;
        {
            const std::lock_guard<std::mutex> guard(state->lock);
            const auto found = state->waiting.find(url);
            if (found != state->waiting.end()) {
                entry = std::move(found->second);
                state->waiting.erase(found);
            }
        }
        return Serve(*state, std::move(entry), url, localPath, timeoutMs);
    };
}

Downloader StartupPrefetch::Keep(const std::wstring& url) {
    auto kept = std::make_shared<KeptEntry>();
    kept->state = state_;
    {
        const std::lock_guard<std::mutex> guard(state_->lock);
        const auto found = state_->waiting.find(url);
        if (found != state_->waiting.end()) {
            kept->entry = std::move(found->second);
            state_->waiting.erase(found);
        }
    }
    return [kept](const std::wstring& url, const std::wstring& localPath,
                  DWORD timeoutMs) -> HRESULT {
        std::shared_ptr<PrefetchEntry> entry;
        {
            const std::lock_guard<std::mutex> guard(kept->state->lock);
            if (kept->entry && kept->entry->url == url) entry = std::move(kept->entry);
        }
        return Serve(*kept->state, std::move(entry), url, localPath, timeoutMs);
    };
}

}  // namespace pelmora
