#include "download/transfer/resumable_body_win.h"

#include "download/transfer/download_result_win.h"
#include "download/transfer/download_to_file_win.h"
#include "download/transfer/http_response.h"
#include "trust/installer_digest_win.h"
#include "win/diagnostics_win.h"
#include "win/files_win.h"
#include "win/text_win.h"

namespace pelmora {
namespace {

// A start-up text file up to this size is kept in memory as written.
constexpr uint64_t kKeptBodyMaxBytes = 1 << 20;

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

// A text file of the start-up (".txt", ".sig"), by the end of the URL's path.
bool IsKeptTextFile(const std::wstring& url) {
    std::wstring path = url.substr(0, url.find_first_of(L"?#"));
    if (path.size() < 4) return false;
    path = path.substr(path.size() - 4);
    ::CharLowerBuffW(path.data(), 4);
    return path == L".txt" || path == L".sig";
}

}  // namespace

std::wstring ResumeValidatorPath(const std::wstring& partialPath) {
    return partialPath + L".validator";
}

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

void AskForRest(const BodyFile& body, RequestPlan& plan) {
    if (body.have == 0) return;
    // The cache must not answer a range request for us.
    plan.flags |= INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
    plan.headers += L"Range: bytes=" + std::to_wstring(body.have) + L"-\r\nIf-Range: " +
                    body.validator + L"\r\n";
}

HRESULT StartDigest(DownloadJob& job, const BodyFile& body, std::unique_ptr<Sha256Stream>& hash) {
    if (!job.expectedDigest) return S_OK;
    hash = std::make_unique<Sha256Stream>();
    return body.have > 0 ? HashKeptPart(job, body, *hash) : S_OK;
}

HRESULT SettleRange(HINTERNET session, DownloadJob& job, RequestPlan& plan, BodyFile& body,
                    std::unique_ptr<Sha256Stream>& hash, win::InternetHandle& request,
                    DWORD& status) {
    if (body.have == 0) return S_OK;
    const std::u16string range = win::ToU16(HeaderText(request.get(), HTTP_QUERY_CONTENT_RANGE));
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

HRESULT FinishKeptWhole(DownloadJob& job, TransferProgress& progress, const BodyFile& body,
                        Sha256Stream* hash) {
    win::Diag(L"[Pelmora]Partial download is the whole file (" + std::to_wstring(body.have) +
              L" bytes)\n");
    if (job.maxBytes && body.have > job.maxBytes) return kDownloadTooLarge;
    if (Notify(job, progress, body.have, body.have) != S_OK) return E_ABORT;
    if (const HRESULT checked = CheckDigest(job, hash); checked != S_OK) return checked;
    return Notify(job, progress, body.have, body.have);
}

HRESULT AcceptAnswer(const DownloadJob& job, const BodyFile& body, HINTERNET request,
                     DWORD status) {
    if (const HRESULT statusResult = HttpStatusResult(status); statusResult != S_OK)
        return statusResult;
    if (!IdentityEncoding(win::ToU16(HeaderText(request, HTTP_QUERY_CONTENT_ENCODING)))) {
        win::Diag(L"[Pelmora]Encoded body refused: " + job.url + L"\n");
        return kDownloadEncodedBody;
    }
    if (!body.resumable) return S_OK;
    // Saved before the body, so a break in the middle can be continued.
    const std::u16string validator =
        ResumeValidator(win::ToU16(HeaderText(request, HTTP_QUERY_ETAG)),
                        win::ToU16(HeaderText(request, HTTP_QUERY_LAST_MODIFIED)));
    const std::wstring validatorPath = ResumeValidatorPath(job.partialPath);
    if (validator.empty() || validator.find_first_of(u"\r\n") != std::u16string::npos)
        ::DeleteFileW(validatorPath.c_str());
    else
        win::ReplaceFileWith(validatorPath,
                             win::ToUtf8(std::wstring(validator.begin(), validator.end())));
    return S_OK;
}

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

}  // namespace pelmora
