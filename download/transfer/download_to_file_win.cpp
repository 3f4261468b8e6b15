#include "download/transfer/download_to_file_win.h"

#include "download/transfer/background_writer_win.h"
#include "download/transfer/download_failure_win.h"
#include "download/transfer/http_response.h"
#include "download/transfer/internet_session_win.h"
#include "download/transfer/painting_wait_win.h"
#include "trust/installer_digest_win.h"
#include "download/transfer/rate_floor.h"
#include "download/transfer/proxy_credentials_win.h"
#include "download/transfer/read_pacing.h"
#include "download/transfer/transfer_progress_win.h"
#include "download/url/uri_encode_win.h"
#include "trust/sha256_win.h"
#include "win/diagnostics_win.h"
#include "win/files_win.h"
#include "win/handles_win.h"
#include "win/text_win.h"
#include "win/thread_win.h"

#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <optional>

namespace pelmora {
namespace {

// The largest read: under Wine each read has a high fixed cost.
constexpr DWORD kReadBufferBytes = 2 * 1024 * 1024;
// One buffer being read into while the others are written.
constexpr size_t kWriteBuffers = 3;
// Redirects followed for one fetch; a loop ends here.
constexpr int kMaxRedirects = 5;
// An abandoned request keeps its connection until the server lets go, and
// later downloads from that server must not queue behind it.
constexpr DWORD kConnectionsPerServer = 16;
// A start-up text file up to this size is kept in memory as written.
constexpr uint64_t kKeptBodyMaxBytes = 1 << 20;

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
    uint64_t maxBytes = 0;
    std::wstring partialPath;
    std::optional<Sha256Digest> expectedDigest;
    DWORD timeoutMs = 0;
    // Body bytes this call received so far, for the waiting side's rate floor.
    std::atomic<uint64_t> received{0};
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

// Hands one report to the progress unless the caller has given up.
// Anything but S_OK stops the transfer.
HRESULT Notify(DownloadJob& job, TransferProgress& progress, uint64_t received,
               std::optional<uint64_t> length) {
    const JobLock guard(job);
    if (job.abandoned) return E_ABORT;
    return progress.Report(received, length.value_or(0));
}

// A header of the answer as text, whatever its length (size asked first);
// empty when absent.
std::wstring HeaderText(HINTERNET request, DWORD query) {
    DWORD size = 0;
    if (::HttpQueryInfoW(request, query, nullptr, &size, nullptr) ||
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0)
        return {};
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (!::HttpQueryInfoW(request, query, value.data(), &size, nullptr)) return {};
    value.resize(size / sizeof(wchar_t));
    return value;
}

std::u16string U16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

// A request that could not be opened. A refused certificate is a failure like
// any other, and the log names the check that refused it: that is what the
// server's administrator has to fix.
HRESULT OpenFailed(const std::wstring& url) {
    const DWORD error = ::GetLastError();
    const HRESULT result = LastErrorResult();
    if (const std::string_view name = CertificateErrorName(error); !name.empty())
        win::Diag(L"[Pelmora]Certificate refused (" + win::FromUtf8(name) + L" " +
                  std::to_wstring(error) + L"): " + url + L"\n");
    else
        win::Diag(L"[Pelmora]Request failed (error " + std::to_wstring(error) + L"): " + url +
                  L"\n");
    return result;
}

// Where the redirect of `url` to `location` leads, in `next`; otherwise why
// it is not followed.
const wchar_t* ResolveRedirect(const std::wstring& url, const std::wstring& location,
                               std::wstring& next) {
    if (location.empty()) return L"no location";
    // Checked before combining: Wine's InternetCombineUrlW can return a cut
    // URL instead of failing for lack of room.
    if (location.size() >= INTERNET_MAX_URL_LENGTH) return L"longer than a URL may be";
    // Relative locations are resolved against the URL that answered.
    next.assign(INTERNET_MAX_URL_LENGTH, L'\0');
    DWORD length = INTERNET_MAX_URL_LENGTH;
    if (!::InternetCombineUrlW(url.c_str(), location.c_str(), next.data(), &length,
                               ICU_NO_ENCODE))
        return ::GetLastError() == ERROR_INSUFFICIENT_BUFFER ? L"longer than a URL may be"
                                                             : L"not a URL";
    next.resize(length);
    if (!RedirectAllowed(U16(url), U16(next))) return L"scheme or downgrade";
    return nullptr;
}

// Opens the URL, following at most kMaxRedirects redirects by hand: only to
// http or https, never from https down to http. Cookies are neither sent nor
// kept. Every request and every hop starts with INTERNET_FLAG_NO_AUTH, so a
// server's 401 is never answered; a proxy's 407 is (AnswerProxy).
HRESULT OpenRequest(HINTERNET session, std::wstring url, const std::wstring& headers, DWORD flags,
                    win::InternetHandle& request, DWORD& status) {
    flags |= INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTH;
    for (int hop = 0;; ++hop) {
        DWORD hopFlags = flags;
        for (;;) {
            request.reset(::InternetOpenUrlW(session, url.c_str(), headers.c_str(),
                                             static_cast<DWORD>(headers.size()), hopFlags, 0));
            if (!request) return OpenFailed(url);
            DWORD size = sizeof status;
            if (!::HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                                  &status, &size, nullptr))
                return LastErrorResult();
            const HRESULT proxy = AnswerProxy(session, request.get(), hopFlags, status);
            if (proxy == S_OK) break;
            if (proxy != S_FALSE) return proxy;
            hopFlags &= ~INTERNET_FLAG_NO_AUTH;  // this request only: WinINet answers the proxy
        }
        if (!IsRedirectStatus(status)) return S_OK;
        const std::wstring location = HeaderText(request.get(), HTTP_QUERY_LOCATION);
        std::wstring next;
        const wchar_t* refusal =
            hop >= kMaxRedirects ? L"too many" : ResolveRedirect(url, location, next);
        if (refusal) {
            win::Diag(L"[Pelmora]Redirect refused (" + std::wstring(refusal) + L"): " + url +
                      L" -> " + location + L"\n");
            return kDownloadBadRedirect;
        }
        win::Diag(L"[Pelmora]Redirected (" + std::to_wstring(status) + L", " +
                  std::to_wstring(location.size()) + L" characters): " + url + L" -> " + next +
                  L"\n");
        url = std::move(next);
    }
}

// Where the body is written: a fresh temporary file, or the partial body of
// an earlier attempt, kept under a stable name and continued.
struct BodyFile {
    win::File file;
    uint64_t have = 0;        // bytes already there from an earlier attempt
    std::wstring validator;   // what the server called that version
    bool resumable = false;
};

std::string ReadSmallFile(const std::wstring& path) {
    const win::File file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    char text[1024];
    DWORD got = 0;
    if (!file || !::ReadFile(file.get(), text, sizeof text, &got, nullptr)) return {};
    return std::string(text, got);
}

bool Truncate(HANDLE file) {
    LARGE_INTEGER start{};
    return ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) && ::SetEndOfFile(file);
}

// Opens the partial body exclusively: a transfer that was given up on may
// still be writing it, and then this attempt starts a temporary file instead.
HRESULT OpenBody(const DownloadJob& job, std::wstring& temporaryPath, BodyFile& body) {
    // Nothing is written through a link below the shared folder.
    if (win::RefuseLink(job.localPath) ||
        (!job.partialPath.empty() && win::RefuseLink(job.partialPath)))
        return LastErrorResult();
    if (!job.partialPath.empty()) {
        body.file.reset(::CreateFileW(job.partialPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (body.file && win::RefuseLinkedFile(body.file.get(), job.partialPath)) {
            const HRESULT refused = LastErrorResult();
            body.file.reset();
            return refused;
        }
        if (body.file) {
            body.resumable = true;
            LARGE_INTEGER size{};
            std::string validator = ReadSmallFile(ResumeValidatorPath(job.partialPath));
            // Every user may write the download folder: what goes into a
            // request header must be one printable line.
            for (const char c : validator)
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) validator.clear();
            if (::GetFileSizeEx(body.file.get(), &size) && size.QuadPart > 0 && !validator.empty()) {
                body.have = static_cast<uint64_t>(size.QuadPart);
                body.validator = win::FromUtf8(validator);
            } else if (!Truncate(body.file.get())) {
                return LastErrorResult();
            }
            return S_OK;
        }
        win::Diag(L"[Pelmora]Partial download busy, fetching whole: " + job.partialPath + L"\n");
    }
    body.file = win::CreateTemporaryBeside(job.localPath, temporaryPath,
                                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
    return body.file ? S_OK : LastErrorResult();
}

// Tells the waiting caller that work goes on where no network notification
// comes: a long hash is progress, never a stall. False once the caller gave
// up or the user cancelled.
bool SignalWorking(DownloadJob& job) {
    const JobLock guard(job);
    if (job.abandoned || (job.progressTarget && !job.progressTarget->InstallActive())) return false;
    ::SetEvent(job.progressEvent.get());
    return true;
}

// The digest starts with the part an earlier attempt kept.
HRESULT HashKeptPart(DownloadJob& job, const BodyFile& body, Sha256Stream& hash) {
    if (HashFileStart(body.file.get(), body.have, hash, [&job] { return SignalWorking(job); }))
        return S_OK;
    const DWORD error = ::GetLastError();
    if (!SignalWorking(job)) return E_ABORT;
    win::Diag(L"[Pelmora]Kept part could not be hashed (" + std::to_wstring(error) + L"): " +
              job.partialPath + L"\n");
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

// Whether the whole body has the digest the caller expects (S_OK without one).
HRESULT CheckDigest(const DownloadJob& job, Sha256Stream* hash) {
    if (!job.expectedDigest) return S_OK;
    const std::optional<Sha256Digest> actual = hash->Finish();
    if (!actual) {
        win::Diag(L"[Pelmora]The system could not hash: " + job.url + L"\n");
        return E_FAIL;
    }
    if (*actual == *job.expectedDigest) return S_OK;
    win::Diag(L"[Pelmora]Digest mismatch: " + job.url + L"\n");
    return kDownloadDigestMismatch;
}

// The server says the kept part is already the whole file: it is checked,
// not fetched again.
HRESULT FinishKeptWhole(DownloadJob& job, TransferProgress& progress, const BodyFile& body,
                        Sha256Stream* hash) {
    win::Diag(L"[Pelmora]Partial download is the whole file (" + std::to_wstring(body.have) +
              L" bytes)\n");
    if (job.maxBytes && body.have > job.maxBytes) return kDownloadTooLarge;
    if (Notify(job, progress, body.have, body.have) != S_OK) return E_ABORT;
    if (const HRESULT checked = CheckDigest(job, hash); checked != S_OK) return checked;
    return Notify(job, progress, body.have, body.have);
}

// What the request asks for, beyond the URL.
struct RequestPlan {
    DWORD flags = 0;
    std::wstring headers;
};

RequestPlan PlanRequest(const DownloadJob& job, const BodyFile& body) {
    // No dialogs from a transfer thread: a certificate that WinINet refuses
    // fails the request instead of asking. The checks themselves stay as the
    // system has them; no INTERNET_FLAG_IGNORE_CERT_* flag or
    // SECURITY_FLAG_IGNORE_* option is ever set.
    RequestPlan plan;
    plan.flags = INTERNET_FLAG_NO_UI;
    // A compressed body would be saved as the file: ask for the file as it is.
    plan.headers = L"Accept-Encoding: identity\r\n";
    if (!job.continueDownload) {
        plan.flags |=
            INTERNET_FLAG_RELOAD | INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_CACHE_WRITE;
        plan.headers += L"Cache-Control: no-cache\r\n";
    }
    if (body.have > 0) {
        // The cache must not answer a range request for us.
        plan.flags |= INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
        plan.headers += L"Range: bytes=" + std::to_wstring(body.have) + L"-\r\nIf-Range: " +
                        body.validator + L"\r\n";
    }
    return plan;
}

// The digest grows as the body is written, after the kept part, which is
// hashed before asking so that a 416 for a whole kept file can be settled.
HRESULT StartDigest(DownloadJob& job, const BodyFile& body, std::unique_ptr<Sha256Stream>& hash) {
    if (!job.expectedDigest) return S_OK;
    hash = std::make_unique<Sha256Stream>();
    return body.have > 0 ? HashKeptPart(job, body, *hash) : S_OK;
}

// What an answer to a range request means for the kept part. S_OK with
// `status` 200 when the body that follows is (the rest of) the file; S_FALSE
// when the kept part is already the whole file.
HRESULT SettleRange(HINTERNET session, DownloadJob& job, RequestPlan& plan, BodyFile& body,
                    std::unique_ptr<Sha256Stream>& hash, win::InternetHandle& request,
                    DWORD& status) {
    if (body.have == 0) return S_OK;
    const std::u16string range = U16(HeaderText(request.get(), HTTP_QUERY_CONTENT_RANGE));
    if (status == 206 && ContentRangeStart(range) == body.have) {
        win::Diag(L"[Pelmora]Resuming at " + std::to_wstring(body.have) + L"\n");
        status = 200;  // the rest of the file follows
        return S_OK;
    }
    if (status == 416 && UnsatisfiedRangeLength(range) == body.have) return S_FALSE;
    // Any other answer is a failure that keeps the partial body.
    if (status != 200 && status != 206 && status != 416) return S_OK;
    // The file changed on the server (200), or the range made no sense to it
    // (416, or another range): start over with the whole file.
    win::Diag(L"[Pelmora]Partial download dropped (answer " + std::to_wstring(status) + L")\n");
    body.have = 0;
    if (hash) hash = std::make_unique<Sha256Stream>();
    if (!Truncate(body.file.get())) return LastErrorResult();
    if (status == 200) return S_OK;
    plan.headers.resize(plan.headers.find(L"Range: "));
    return OpenRequest(session, job.url, plan.headers, plan.flags, request, status);
}

// A 200 with the file as it is; its validator kept for a later resume.
HRESULT AcceptAnswer(const DownloadJob& job, const BodyFile& body, HINTERNET request,
                     DWORD status) {
    if (const HRESULT statusResult = HttpStatusResult(status); statusResult != S_OK)
        return statusResult;
    if (!IdentityEncoding(U16(HeaderText(request, HTTP_QUERY_CONTENT_ENCODING)))) {
        win::Diag(L"[Pelmora]Encoded body refused: " + job.url + L"\n");
        return kDownloadEncodedBody;
    }
    if (!body.resumable) return S_OK;
    // Saved before the body, so a break in the middle can be continued.
    const std::u16string validator = ResumeValidator(
        U16(HeaderText(request, HTTP_QUERY_ETAG)), U16(HeaderText(request, HTTP_QUERY_LAST_MODIFIED)));
    const std::wstring validatorPath = ResumeValidatorPath(job.partialPath);
    if (validator.empty() || validator.find_first_of(u"\r\n") != std::u16string::npos)
        ::DeleteFileW(validatorPath.c_str());
    else
        win::ReplaceFileWith(validatorPath,
                             win::ToUtf8(std::wstring(validator.begin(), validator.end())));
    return S_OK;
}

// Reads the body to its end through the background writer; `received`
// counts the kept part too.
HRESULT ReadBody(DownloadJob& job, TransferProgress& progress, const BodyFile& body,
                 Sha256Stream* hash, HINTERNET request, std::optional<uint64_t> length,
                 uint64_t& received) {
    LARGE_INTEGER end{};
    if (!::SetFilePointerEx(body.file.get(), end, nullptr, FILE_END)) return LastErrorResult();
    BackgroundWriter writer(body.file.get(), kReadBufferBytes, kWriteBuffers, hash);
    received = body.have;
    uint64_t reads = 0;
    DWORD largestRead = 0;
    DWORD lastAsked = 0;
    uint64_t lastMicroseconds = 0;
    for (;;) {
        // Waits for the next data. What has arrived is read at once; beyond
        // that a read waits until it is full, so reads grow only while they
        // come back quickly: progress keeps coming on a slow link, and a fast
        // one is read in large pieces.
        const uint64_t started = Microseconds();
        DWORD available = 0;
        if (!::InternetQueryDataAvailable(request, &available, 0, 0)) return LastErrorResult();
        if (available == 0) break;
        const DWORD ask =
            NextReadSize(available, lastAsked, lastMicroseconds, job.timeoutMs, kReadBufferBytes);
        char* const buffer = writer.Acquire();
        if (!buffer) break;  // the write failed: Finish below says why
        DWORD got = 0;
        if (!::InternetReadFile(request, buffer, ask, &got)) return LastErrorResult();
        if (got == 0) break;
        lastAsked = ask;
        lastMicroseconds = Microseconds() - started;
        if (job.maxBytes && received + got > job.maxBytes) return kDownloadTooLarge;
        writer.Submit(buffer, got);
        received += got;
        job.received.store(received - body.have);
        ++reads;
        largestRead = std::max(largestRead, got);
        if (Notify(job, progress, received, length) != S_OK) return E_ABORT;
    }
    if (const DWORD error = writer.Finish(); error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
    // Read sizes decide the speed under Wine: say what they were.
    win::Diag(L"[Pelmora]Body " + std::to_wstring(received - body.have) + L" bytes in " +
              std::to_wstring(reads) + L" reads, largest " + std::to_wstring(largestRead) + L"\n");
    return S_OK;
}

// Fetches the job's URL into the body file. S_OK only when the whole file is
// there: a 200 answer, or a 206 continuing exactly where the body ends.
HRESULT Transfer(DownloadJob& job, TransferProgress& progress, BodyFile& body) {
    // Shared by transfers with the same time-out, so they reuse connections.
    const HINTERNET session = InternetSession(job.timeoutMs);  // not ours to close
    if (!session) return LastErrorResult();
    RequestPlan plan = PlanRequest(job, body);
    std::unique_ptr<Sha256Stream> hash;
    if (const HRESULT started = StartDigest(job, body, hash); started != S_OK) return started;
    win::InternetHandle request;
    DWORD status = 0;
    if (const HRESULT opened = OpenRequest(session, job.url, plan.headers, plan.flags, request, status);
        opened != S_OK)
        return opened;
    const HRESULT range = SettleRange(session, job, plan, body, hash, request, status);
    if (range == S_FALSE) return FinishKeptWhole(job, progress, body, hash.get());
    if (range != S_OK) return range;
    if (const HRESULT accepted = AcceptAnswer(job, body, request.get(), status); accepted != S_OK)
        return accepted;

    std::optional<uint64_t> length = ContentLength(request.get());
    if (length) *length += body.have;
    if (job.maxBytes && length && *length > job.maxBytes) return kDownloadTooLarge;
    if (Notify(job, progress, body.have, length) != S_OK) return E_ABORT;
    uint64_t received = 0;
    if (const HRESULT read = ReadBody(job, progress, body, hash.get(), request.get(), length, received);
        read != S_OK)
        return read;
    // A connection dropped mid-body ends the reads early, without an error.
    if (!BodyComplete(length, received)) {
        win::Diag(L"[Pelmora]Body cut short: " + std::to_wstring(received) + L" of " +
                  std::to_wstring(length.value_or(0)) + L" bytes\n");
        return kDownloadCutShort;
    }
    // Without a length, only a digest can tell a cut body from a whole one.
    if (const HRESULT checked = CheckDigest(job, hash.get()); checked != S_OK) return checked;
    if (Notify(job, progress, received, length) != S_OK) return E_ABORT;
    return S_OK;
}

// A text file of the start-up (".txt", ".sig"), by the end of the URL's path.
bool IsKeptTextFile(const std::wstring& url) {
    std::wstring path = url.substr(0, url.find_first_of(L"?#"));
    if (path.size() < 4) return false;
    path = path.substr(path.size() - 4);
    ::CharLowerBuffW(path.data(), 4);
    return path == L".txt" || path == L".sig";
}

// The body on disk before it replaces anything, so a crash leaves the old
// file or the new one whole. A start-up text file is also kept as read back
// through this handle, which nobody else could write: it is parsed from
// memory, never from the shared folder again.
HRESULT MakeDurable(const DownloadJob& job, HANDLE file, const std::wstring& path) {
    if (!::FlushFileBuffers(file)) return LastErrorResult();
    if (!IsKeptTextFile(job.url)) return S_OK;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size)) return LastErrorResult();
    if (static_cast<uint64_t>(size.QuadPart) > kKeptBodyMaxBytes) return S_OK;
    if (!::SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN)) return LastErrorResult();
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!bytes.empty() &&
        (!::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
         got != bytes.size()))
        return LastErrorResult();
    win::KeepWrittenBytes(path, std::move(bytes));
    return S_OK;
}

HRESULT RunDownloadJob(DownloadJob& job) noexcept {
    HRESULT result = E_OUTOFMEMORY;
    std::wstring temporaryPath;
    std::wstring bodyPath;
    bool keepBody = false;  // a partial body that a later attempt continues
    try {
        TransferProgress progress(job.progressEvent.get(), job.progressTarget, job.row);
        if (job.continueDownload) {
            win::Diag(L"======== Continue Downloading\n");
        } else {
            // No cache entry to delete: such a fetch neither reads nor writes the cache.
            win::Diag(L"+++++++++ Reset Downloading\n");
        }
        BodyFile body;
        result = OpenBody(job, temporaryPath, body);
        bodyPath = body.resumable ? job.partialPath : temporaryPath;
        if (result == S_OK) result = Transfer(job, progress, body);
        if (result == S_OK) result = MakeDurable(job, body.file.get(), bodyPath);
        keepBody = body.resumable && result != S_OK && result != kDownloadDigestMismatch &&
                   result != kDownloadTooLarge;
        win::Diag(L"********** Downloading terminated\n");
    } catch (...) {
        result = E_OUTOFMEMORY;
    }

    const auto removeBody = [&] {
        if (keepBody || bodyPath.empty()) return;
        win::ForgetWrittenBytes(bodyPath);
        ::DeleteFileW(bodyPath.c_str());  // may not exist
        if (bodyPath == job.partialPath) ::DeleteFileW(ResumeValidatorPath(bodyPath).c_str());
    };
    const JobLock guard(job);
    if (job.abandoned) {
        removeBody();  // the destination stays as it was
        return result;
    }
    if (result == S_OK && !win::MoveReplacing(bodyPath, job.localPath)) result = LastErrorResult();
    if (result == S_OK && bodyPath == job.partialPath)
        ::DeleteFileW(ResumeValidatorPath(bodyPath).c_str());
    if (result != S_OK) removeBody();
    job.result = result;
    job.finished = true;
    ::SetEvent(job.doneEvent.get());
    return result;
}

// Transfer threads wait a little after their job for the next one: many
// small files then cost no thread start each (under Wine a wineserver round
// trip or two). A job given up on keeps its thread until it ends by itself.
class TransferThreads {
public:
    bool Start(std::shared_ptr<DownloadJob> job) {
        {
            const std::lock_guard<std::mutex> guard(lock_);
            if (idle_ > 0) {
                --idle_;  // on behalf of the thread that takes it
                jobs_.push_back(std::move(job));
                wake_.notify_one();
                return true;
            }
        }
        return win::StartDetachedThread([this, job]() mutable { Serve(std::move(job)); });
    }

private:
    static constexpr std::chrono::milliseconds kIdle{3000};

    void Serve(std::shared_ptr<DownloadJob> job) noexcept {
        for (;;) {
            RunDownloadJob(*job);
            job.reset();
            std::unique_lock<std::mutex> guard(lock_);
            ++idle_;
            if (!wake_.wait_for(guard, kIdle, [this] { return !jobs_.empty(); })) {
                --idle_;
                return;
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<DownloadJob>> jobs_;
    size_t idle_ = 0;  // waiting threads not yet promised a job
};

TransferThreads& SharedTransferThreads() {
    static auto* threads = new TransferThreads;  // never destroyed: its threads may outlive main
    return *threads;
}

// How a wait for the transfer ended, when the caller gives it up.
enum class GiveUp { No, Cancelled, TimedOut, TooSlow, WaitFailed };

HRESULT GiveUpResult(GiveUp why) {
    switch (why) {
    case GiveUp::Cancelled: return E_ABORT;
    case GiveUp::TimedOut: return kDownloadTimedOut;
    case GiveUp::TooSlow: return kDownloadTooSlow;
    default: return LastErrorResult();
    }
}

// Gives the transfer up, unless it has just finished: from then on it can
// reach nothing of ours. The failure, or nullopt when it finished after all.
std::optional<HRESULT> Abandon(DownloadJob& job, GiveUp why, uint64_t elapsedMs) {
    const HRESULT failure = GiveUpResult(why);
    const JobLock guard(job);
    if (job.finished) return std::nullopt;  // it ended just as the time ran out
    // Not killed: a thread killed inside the network library can leave its
    // locks held. Left alone, it can no longer reach anything of ours.
    job.abandoned = true;
    switch (why) {
    case GiveUp::Cancelled: win::Diag(L"[Pelmora]Download cancelled; transfer abandoned\n"); break;
    case GiveUp::TimedOut: win::Diag(L"Timeout-- kill a thread..!!\n"); break;
    case GiveUp::TooSlow:
        win::Diag(L"[Pelmora]Download too slow: " + std::to_wstring(job.received.load()) +
                  L" bytes in " + std::to_wstring(elapsedMs) + L" ms; transfer abandoned\n");
        break;
    default: win::Diag(L"[Pelmora]Download wait failed; transfer abandoned\n"); break;
    }
    return failure;
}

// Waits for the transfer to end, restarting the inactivity time-out at every
// progress notification and waking when the rate floor could be crossed.
// nullopt when it ended (its result is the job's); otherwise why it was given
// up. The user's cancel wakes the wait too: a stalled server sends no
// notification that could carry it.
std::optional<HRESULT> WaitForTransfer(DownloadJob& job, HANDLE cancel, DWORD timeoutMs,
                                       const RateFloor& floor) {
    const HANDLE events[] = {job.progressEvent.get(), job.doneEvent.get(), cancel};
    const DWORD eventCount = cancel ? 3 : 2;
    const ULONGLONG started = ::GetTickCount64();
    ULONGLONG lastProgress = started;
    for (;;) {
        const ULONGLONG now = ::GetTickCount64();
        const uint64_t slowAt = TooSlowFromMs(floor, job.received.load());
        if (now - started >= slowAt) {
            if (const auto failure = Abandon(job, GiveUp::TooSlow, now - started)) return failure;
            return std::nullopt;
        }
        const uint64_t idleLeft = now - lastProgress >= timeoutMs ? 0 : timeoutMs - (now - lastProgress);
        const DWORD waitMs = static_cast<DWORD>(std::min<uint64_t>(idleLeft, slowAt - (now - started)));
        const DWORD wait = WaitKeepingWindowsPainted(eventCount, events, waitMs);
        // The lowest signalled event wins, so steady progress must not hide a cancel.
        const bool cancelled =
            cancel && (wait == WAIT_OBJECT_0 + 2 ||
                       (wait == WAIT_OBJECT_0 && ::WaitForSingleObject(cancel, 0) == WAIT_OBJECT_0));
        if (wait == WAIT_OBJECT_0 + 1) return std::nullopt;
        if (wait == WAIT_OBJECT_0 && !cancelled) {
            lastProgress = ::GetTickCount64();  // progress: the time-out starts again
            continue;
        }
        GiveUp why = cancelled ? GiveUp::Cancelled : GiveUp::WaitFailed;
        if (wait == WAIT_TIMEOUT) {
            if (::GetTickCount64() - lastProgress < timeoutMs) continue;  // the floor's turn: above
            why = GiveUp::TimedOut;
        } else if (!cancelled && wait != WAIT_FAILED) {
            continue;
        }
        if (const auto failure = Abandon(job, why, ::GetTickCount64() - started)) return failure;
        return std::nullopt;
    }
}

HRESULT Download(std::wstring url, std::wstring localPath, int row,
                 ProgressTarget* progressTarget, DWORD timeoutMs, bool continueDownload,
                 const DownloadOptions& options) {
    AllowConnectionsPerServer();
    const auto job = std::make_shared<DownloadJob>();
    job->continueDownload = continueDownload;
    job->maxBytes = options.maxBytes;
    job->partialPath = options.partialPath;
    job->expectedDigest = options.expectedDigest;
    job->url = EncodeWideUrl(url);
    job->localPath = std::move(localPath);
    job->row = row;
    job->progressTarget = progressTarget;
    job->timeoutMs = timeoutMs;
    job->progressEvent.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    job->doneEvent.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!job->progressEvent || !job->doneEvent) return LastErrorResult();

    if (!SharedTransferThreads().Start(job)) return LastErrorResult();

    const HANDLE cancel =
        progressTarget ? static_cast<HANDLE>(progressTarget->CancelEvent()) : nullptr;
    if (const std::optional<HRESULT> failure =
            WaitForTransfer(*job, cancel, timeoutMs, options.rateFloor))
        return *failure;
    win::Diag(L"Get completed.....!!\n");
    const JobLock guard(*job);
    return job->result;
}

}  // namespace

HRESULT DownloadToFile(std::wstring url, std::wstring localPath, int row,
                       ProgressTarget* progressTarget, DWORD timeoutMs, bool continueDownload,
                       const DownloadOptions& options) {
    HRESULT result = E_OUTOFMEMORY;
    const std::wstring shown = url;
    try {
        result = Download(std::move(url), std::move(localPath), row, progressTarget, timeoutMs,
                          continueDownload, options);
    } catch (const std::bad_alloc&) {
    }
    if (result != S_OK)
        win::Diag(L"[Pelmora]Download failed: " + shown + L": " +
                  DownloadFailureText(result, timeoutMs, options.maxBytes) + L"\n");
    return result;
}

HRESULT DownloadToFile(std::wstring url, std::wstring localPath, int row,
                       ProgressTarget* progressTarget, DWORD timeoutMs, bool continueDownload) {
    return DownloadToFile(std::move(url), std::move(localPath), row, progressTarget, timeoutMs,
                          continueDownload, DownloadOptions{});
}

std::wstring ResumeValidatorPath(const std::wstring& partialPath) {
    return partialPath + L".validator";
}

}  // namespace pelmora
