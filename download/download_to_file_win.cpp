#include "download/download_to_file_win.h"

#include "download/http_response.h"
#include "download/progress_percent.h"
#include "download/read_pacing.h"
#include "download/status_callback_win.h"
#include "download/uri_encode_win.h"
#include "win/diagnostics_win.h"
#include "win/handles_win.h"

#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <optional>

namespace pelmora {
namespace {

// The largest read; larger writes gained nothing under Wine.
constexpr DWORD kReadBufferBytes = 256 * 1024;
// An abandoned request keeps its connection until the server lets go, and
// later downloads from that server must not queue behind it.
constexpr DWORD kConnectionsPerServer = 16;
// Where the system honours socket time-outs, an abandoned reader ends soon
// after the caller left it; the margin keeps them from racing the caller's own.
constexpr DWORD kSocketTimeoutMarginMs = 10000;

// Shared by the caller and the transfer thread. The thread holds its own
// reference, so a transfer the caller has given up on still finishes on valid
// memory and valid handles.
struct DownloadJob {
    bool continueDownload = false;
    win::Handle progressEvent;
    win::Handle doneEvent;
    std::wstring url;
    std::wstring localPath;
    HRESULT result = -1;
    int row = 0;
    ProgressTarget* progressTarget = nullptr;  // borrowed
    DWORD timeoutMs = 0;
    // Every effect of the transfer thread beyond its own temporary file (the
    // events, the progress target, `result`, the destination) happens under
    // this lock, and only while `abandoned` is clear.
    SRWLOCK lock = SRWLOCK_INIT;
    bool abandoned = false;
    bool finished = false;
};

class JobLock {
public:
    explicit JobLock(DownloadJob& job) noexcept : lock_(&job.lock) { ::AcquireSRWLockExclusive(lock_); }
    ~JobLock() { ::ReleaseSRWLockExclusive(lock_); }
    JobLock(const JobLock&) = delete;
    JobLock& operator=(const JobLock&) = delete;

private:
    SRWLOCK* lock_;
};

// Never 0, 1 or E_ABORT, which mean success, time-out and cancel.
HRESULT LastErrorResult() {
    const DWORD error = ::GetLastError();
    return error == ERROR_SUCCESS ? INET_E_DOWNLOAD_FAILURE : HRESULT_FROM_WIN32(error);
}

std::wstring TemporaryPathBeside(const std::wstring& localPath) {
    static std::atomic<unsigned> counter{0};
    return localPath + L".part-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter);
}

void AllowConnectionsPerServer() {
    static std::once_flag once;
    std::call_once(once, [] {
        DWORD connections = kConnectionsPerServer;
        ::InternetSetOptionW(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &connections,
                             sizeof connections);
        ::InternetSetOptionW(nullptr, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &connections,
                             sizeof connections);
    });
}

void SetSocketTimeouts(HINTERNET session, DWORD timeoutMs) {
    DWORD ms = timeoutMs > MAXDWORD - kSocketTimeoutMarginMs ? MAXDWORD
                                                             : timeoutMs + kSocketTimeoutMarginMs;
    for (const DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
          INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
          INTERNET_OPTION_DATA_RECEIVE_TIMEOUT})
        ::InternetSetOptionW(session, option, &ms, sizeof ms);
}

uint64_t Microseconds() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<uint64_t>(now.QuadPart / frequency * 1000000 +
                                 now.QuadPart % frequency * 1000000 / frequency);
}

std::optional<uint64_t> ContentLength(HINTERNET request) {
    wchar_t value[64] = {};
    DWORD size = sizeof value - sizeof value[0];
    if (!::HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, value, &size, nullptr))
        return std::nullopt;
    const std::wstring_view text(value, size / sizeof value[0]);
    return ParseContentLength(std::u16string_view(
        reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

// Hands one notification to the callback unless the caller has given up.
// Anything but S_OK stops the transfer.
HRESULT Notify(DownloadJob& job, IBindStatusCallback& callback, uint64_t received,
               std::optional<uint64_t> length, ULONG statusCode) {
    const ProgressCounts counts = ScaleProgress(received, length.value_or(0));
    const JobLock guard(job);
    if (job.abandoned) return E_ABORT;
    return callback.OnProgress(counts.progress, counts.total, statusCode, nullptr) == S_OK
               ? S_OK
               : E_ABORT;
}

// Fetches the job's URL into `temporaryPath`. S_OK only for a 200 response
// whose body arrived whole.
HRESULT Transfer(DownloadJob& job, IBindStatusCallback& callback,
                 const std::wstring& temporaryPath) {
    // The preconfigured access type follows the user's proxy settings.
    const win::InternetHandle session(
        ::InternetOpenW(L"Pelmora", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) return LastErrorResult();
    SetSocketTimeouts(session.get(), job.timeoutMs);

    DWORD flags = INTERNET_FLAG_NO_UI;  // no dialogs from a transfer thread
    const wchar_t* headers = nullptr;
    if (!job.continueDownload) {
        flags |= INTERNET_FLAG_RELOAD | INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_CACHE_WRITE;
        headers = L"Cache-Control: no-cache\r\n";
    }
    const win::InternetHandle request(::InternetOpenUrlW(
        session.get(), job.url.c_str(), headers, headers ? static_cast<DWORD>(-1) : 0, flags, 0));
    if (!request) return LastErrorResult();

    DWORD status = 0;
    DWORD size = sizeof status;
    if (!::HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                          &size, nullptr))
        return LastErrorResult();
    if (const HRESULT statusResult = HttpStatusResult(status); statusResult != S_OK)
        return statusResult;
    const std::optional<uint64_t> length = ContentLength(request.get());
    if (Notify(job, callback, 0, length, BINDSTATUS_BEGINDOWNLOADDATA) != S_OK) return E_ABORT;

    const win::File file(::CreateFileW(temporaryPath.c_str(), GENERIC_WRITE, 0, nullptr,
                                       CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return LastErrorResult();
    const std::unique_ptr<char[]> buffer(new char[kReadBufferBytes]);
    uint64_t received = 0;
    DWORD lastAsked = 0;
    uint64_t lastMicroseconds = 0;
    for (;;) {
        // Waits for the next data. What has arrived is read at once; beyond
        // that a read waits until it is full, so reads grow only while they
        // come back quickly: progress keeps coming on a slow link, and a fast
        // one is read in large pieces.
        const uint64_t started = Microseconds();
        DWORD available = 0;
        if (!::InternetQueryDataAvailable(request.get(), &available, 0, 0))
            return LastErrorResult();
        if (available == 0) break;
        const DWORD ask =
            NextReadSize(available, lastAsked, lastMicroseconds, job.timeoutMs, kReadBufferBytes);
        DWORD got = 0;
        if (!::InternetReadFile(request.get(), buffer.get(), ask, &got)) return LastErrorResult();
        if (got == 0) break;
        lastAsked = ask;
        lastMicroseconds = Microseconds() - started;
        DWORD written = 0;
        if (!::WriteFile(file.get(), buffer.get(), got, &written, nullptr) || written != got)
            return LastErrorResult();
        received += got;
        if (Notify(job, callback, received, length, BINDSTATUS_DOWNLOADINGDATA) != S_OK)
            return E_ABORT;
    }
    // A connection dropped mid-body ends the reads early, without an error.
    if (!BodyComplete(length, received)) return INET_E_DOWNLOAD_FAILURE;
    if (Notify(job, callback, received, length, BINDSTATUS_ENDDOWNLOADDATA) != S_OK) return E_ABORT;
    return S_OK;
}

HRESULT RunDownloadJob(DownloadJob& job) noexcept {
    HRESULT result = E_OUTOFMEMORY;
    std::wstring temporaryPath;
    try {
        std::unique_ptr<StatusCallBack> callback;
        if (job.progressTarget)
            callback = std::make_unique<StatusProgressCallBack>(job.progressEvent.get(),
                                                                job.progressTarget, job.row);
        else
            callback = std::make_unique<StatusCallBack>(job.progressEvent.get());
        if (job.continueDownload) {
            win::Diag(L"======== Continue Downloading\n");
        } else {
            win::Diag(L"+++++++++ Reset Downloading\n");
            ::DeleteUrlCacheEntryW(job.url.c_str());  // no entry is fine
        }
        temporaryPath = TemporaryPathBeside(job.localPath);
        result = Transfer(job, *callback, temporaryPath);
        win::Diag(L"********** Downloading terminated\n");
    } catch (...) {
        result = E_OUTOFMEMORY;
    }

    const auto removeTemporary = [&] {
        if (!temporaryPath.empty()) ::DeleteFileW(temporaryPath.c_str());  // may not exist
    };
    const JobLock guard(job);
    if (job.abandoned) {
        removeTemporary();  // the destination stays as it was
        return result;
    }
    if (result == S_OK &&
        !::MoveFileExW(temporaryPath.c_str(), job.localPath.c_str(), MOVEFILE_REPLACE_EXISTING))
        result = LastErrorResult();
    if (result != S_OK) removeTemporary();
    job.result = result;
    job.finished = true;
    ::SetEvent(job.doneEvent.get());
    return result;
}

DWORD WINAPI TransferThread(void* parameter) noexcept {
    const std::unique_ptr<std::shared_ptr<DownloadJob>> job(
        static_cast<std::shared_ptr<DownloadJob>*>(parameter));
    return static_cast<DWORD>(RunDownloadJob(**job));
}

// WaitForMultipleObjects (wait-any) that keeps the calling thread's windows
// painted meanwhile, when it has any: only paint messages and messages sent
// by other threads are handled here, input stays queued for the caller's
// own message loop, so nothing re-enters the caller through user input.
DWORD WaitKeepingWindowsPainted(DWORD count, const HANDLE* handles, DWORD timeoutMs) {
    if (!::IsGUIThread(FALSE)) return ::WaitForMultipleObjects(count, handles, FALSE, timeoutMs);
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        const ULONGLONG now = ::GetTickCount64();
        const DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        const DWORD wait = ::MsgWaitForMultipleObjectsEx(count, handles, left,
                                                         QS_PAINT | QS_SENDMESSAGE, 0);
        if (wait != WAIT_OBJECT_0 + count) return wait;
        MSG msg;
        bool painted = false;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT)) {
            ::DispatchMessageW(&msg);
            painted = true;
        }
        // A paint bit no message goes with would wake us at once, again and again.
        if (!painted) ::Sleep(10);
    }
}

HRESULT Download(std::wstring url, std::wstring localPath, int row,
                 ProgressTarget* progressTarget, DWORD timeoutMs, bool continueDownload) {
    AllowConnectionsPerServer();
    const auto job = std::make_shared<DownloadJob>();
    job->continueDownload = continueDownload;
    job->url = EncodeWideUrl(url);
    job->localPath = std::move(localPath);
    job->row = row;
    job->progressTarget = progressTarget;
    job->timeoutMs = timeoutMs;
    job->progressEvent.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    job->doneEvent.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!job->progressEvent || !job->doneEvent) return LastErrorResult();

    auto threadReference = std::make_unique<std::shared_ptr<DownloadJob>>(job);
    const win::Handle thread(
        ::CreateThread(nullptr, 0, TransferThread, threadReference.get(), 0, nullptr));
    if (!thread) return LastErrorResult();
    threadReference.release();  // the thread owns it now

    // The user's cancel wakes the wait too: a stalled server sends no
    // notification that could carry it.
    const HANDLE cancel =
        progressTarget ? static_cast<HANDLE>(progressTarget->CancelEvent()) : nullptr;
    const HANDLE events[] = {job->progressEvent.get(), job->doneEvent.get(), cancel};
    const DWORD eventCount = cancel ? 3 : 2;
    for (;;) {
        const DWORD wait = WaitKeepingWindowsPainted(eventCount, events, timeoutMs);
        // The lowest signalled event wins, so steady progress must not hide a cancel.
        const bool cancelled =
            cancel && (wait == WAIT_OBJECT_0 + 2 ||
                       (wait == WAIT_OBJECT_0 && ::WaitForSingleObject(cancel, 0) == WAIT_OBJECT_0));
        if (wait == WAIT_OBJECT_0 && !cancelled) continue;  // progress: the time-out starts again
        if (wait == WAIT_OBJECT_0 + 1) break;
        if (!cancelled && wait != WAIT_TIMEOUT && wait != WAIT_FAILED) continue;
        const HRESULT failure = cancelled               ? E_ABORT
                                : wait == WAIT_TIMEOUT ? kDownloadTimedOut
                                                       : LastErrorResult();
        const JobLock guard(*job);
        if (job->finished) break;  // it ended just as the time ran out
        // Not killed: a thread killed inside the network library can leave its
        // locks held. Left alone, it can no longer reach anything of ours.
        job->abandoned = true;
        win::Diag(cancelled              ? L"[Pelmora]Download cancelled; transfer abandoned\n"
                  : wait == WAIT_TIMEOUT ? L"Timeout-- kill a thread..!!\n"
                                         : L"[Pelmora]Download wait failed; transfer abandoned\n");
        return failure;
    }
    win::Diag(L"Get completed.....!!\n");
    const JobLock guard(*job);
    return job->result;
}

}  // namespace

HRESULT DownloadToFile(std::wstring url, std::wstring localPath, int row,
                       ProgressTarget* progressTarget, DWORD timeoutMs, bool continueDownload) {
    try {
        return Download(std::move(url), std::move(localPath), row, progressTarget, timeoutMs,
                        continueDownload);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace pelmora
