#include "download/transfer/download_to_file_win.h"

#include "download/transfer/download_failure_win.h"
#include "download/transfer/download_job_win.h"
#include "download/transfer/download_result_win.h"
#include "download/transfer/http_request_win.h"
#include "download/transfer/http_response.h"
#include "download/transfer/internet_session_win.h"
#include "download/transfer/read_loop_win.h"
#include "download/transfer/resumable_body_win.h"
#include "download/transfer/transfer_progress_win.h"
#include "download/transfer/transfer_threads_win.h"
#include "download/transfer/transfer_wait_win.h"
#include "download/url/uri_encode_win.h"
#include "win/diagnostics_win.h"
#include "win/files_win.h"

#include <memory>
#include <new>
#include <optional>

namespace pelmora {
namespace {

// Fetches the job's URL into the body file. S_OK only when the whole file is
// there: a 200 answer, or a 206 continuing exactly where the body ends.
HRESULT Transfer(DownloadJob& job, TransferProgress& progress, BodyFile& body) {
    // Shared by transfers with the same time-out, so they reuse connections.
    const HINTERNET session = InternetSession(job.timeoutMs);  // not ours to close
    if (!session) return LastErrorResult();
    RequestPlan plan = PlanRequest(job.continueDownload);
    AskForRest(body, plan);
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

// The transfer thread's work: the body fetched, on disk, and put in place
// unless the caller gave up on it.
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

    if (!StartOnTransferThread([job] { RunDownloadJob(*job); })) return LastErrorResult();

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

}  // namespace pelmora
