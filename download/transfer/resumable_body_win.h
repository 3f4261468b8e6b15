// Where a download's body is written: a fresh temporary file, or the partial
// body of an earlier attempt, continued by a range request that the
// validator the server gave it guards; and the digest that covers both.
#pragma once
#include "download/transfer/download_job_win.h"
#include "download/transfer/http_request_win.h"
#include "download/transfer/transfer_progress_win.h"
#include "trust/sha256_win.h"
#include "win/handles_win.h"

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <memory>
#include <string>

namespace pelmora {

// Where the body is written: a fresh temporary file, or the partial body of
// an earlier attempt, kept under a stable name and continued.
struct BodyFile {
    win::File file;
    uint64_t have = 0;        // bytes already there from an earlier attempt
    std::wstring validator;   // what the server called that version
    bool resumable = false;
};

// Opens the partial body exclusively: a transfer that was given up on may
// still be writing it, and then this attempt starts a temporary file instead.
HRESULT OpenBody(const DownloadJob& job, std::wstring& temporaryPath, BodyFile& body);

// With a kept part, the request asks only for the rest, and only of the
// version the kept part came from.
void AskForRest(const BodyFile& body, RequestPlan& plan);

// The digest grows as the body is written, after the kept part, which is
// hashed before asking so that a 416 for a whole kept file can be settled.
HRESULT StartDigest(DownloadJob& job, const BodyFile& body, std::unique_ptr<Sha256Stream>& hash);

// What an answer to a range request means for the kept part. S_OK with
// `status` 200 when the body that follows is (the rest of) the file; S_FALSE
// when the kept part is already the whole file.
HRESULT SettleRange(HINTERNET session, DownloadJob& job, RequestPlan& plan, BodyFile& body,
                    std::unique_ptr<Sha256Stream>& hash, win::InternetHandle& request,
                    DWORD& status);

// The server says the kept part is already the whole file: it is checked,
// not fetched again.
HRESULT FinishKeptWhole(DownloadJob& job, TransferProgress& progress, const BodyFile& body,
                        Sha256Stream* hash);

// A 200 with the file as it is; its validator kept for a later resume.
HRESULT AcceptAnswer(const DownloadJob& job, const BodyFile& body, HINTERNET request,
                     DWORD status);

// Whether the whole body has the digest the caller expects (S_OK without one).
HRESULT CheckDigest(const DownloadJob& job, Sha256Stream* hash);

// The body on disk before it replaces anything, so a crash leaves the old
// file or the new one whole. A start-up text file is also kept as read back
// through this handle, which nobody else could write: it is parsed from
// memory, never from the shared folder again.
HRESULT MakeDurable(const DownloadJob& job, HANDLE file, const std::wstring& path);

}  // namespace pelmora
