#include "download/release/release_check_win.h"

#include "win/local_text_win.h"
#include "download/transfer/download_failure_win.h"
#include "download/transfer/http_response.h"
#include "download/url/base_url_win.h"
#include "download/transfer/painting_wait_win.h"
#include "trust/catalogue_freshness.h"
#include "trust/installer_digest_win.h"
#include "trust/signature_win.h"
#include "win/diagnostics_win.h"
#include "win/files_win.h"
#include "win/handles_win.h"
#include "win/text_win.h"
#include "win/thread_win.h"

#include <cstdio>

namespace pelmora {
namespace {

int TodayUtc() {
    SYSTEMTIME now{};
    ::GetSystemTime(&now);
    return now.wYear * 10000 + now.wMonth * 100 + now.wDay;
}

std::wstring DateText(int ymd) {
    wchar_t text[16];
    swprintf(text, 16, L"%04d-%02d-%02d", ymd / 10000, ymd / 100 % 100, ymd % 100);
    return text;
}

// 0 when none was kept; a kept file that does not read counts as none, since
// the folder is the user's and a lost floor only weakens the replay check.
uint64_t HighestAcceptedSerial(const std::wstring& serialFile) {
    std::string text;
    if (!ReadFileHead(serialFile, 64, text)) return 0;
    const std::optional<uint64_t> serial = ParseSerial(text);
    if (!serial) win::Diag(L"[Pelmora]Kept release serial does not read; none assumed\n");
    return serial.value_or(0);
}

HRESULT Refuse(const std::wstring& name, HRESULT result, const std::wstring& why) {
    win::Diag(L"[Pelmora]" + name + L" refused: " + why + L"; taken as a failed download\n");
    return result;
}

class Leftovers {
public:
    Leftovers(std::wstring a, std::wstring b) : a_(std::move(a)), b_(std::move(b)) {}
    ~Leftovers() {
        ::DeleteFileW(a_.c_str());
        if (!b_.empty()) ::DeleteFileW(b_.c_str());
    }
    Leftovers(const Leftovers&) = delete;
    Leftovers& operator=(const Leftovers&) = delete;

private:
    std::wstring a_, b_;
};

// One more transfer on a thread of its own, beside the caller's.
class BesideFetch {
public:
    BesideFetch(Transfer transfer, std::wstring url, std::wstring localPath, DWORD timeoutMs,
                DownloadOptions options)
        : job_(std::make_shared<Job>(
              Job{std::move(transfer), std::move(url), std::move(localPath), timeoutMs,
                  std::move(options), E_PENDING})) {
        thread_ = win::StartThread([job = job_] { Run(*job); }).handle;
        if (!thread_) Run(*job_);  // no thread: fetched here instead
    }
    ~BesideFetch() { Result(); }
    BesideFetch(const BesideFetch&) = delete;
    BesideFetch& operator=(const BesideFetch&) = delete;

    // Waits for the transfer (its own time-out bounds it), windows painted.
    HRESULT Result() {
        if (thread_) {
            const HANDLE thread = thread_.get();
            WaitKeepingWindowsPainted(1, &thread, INFINITE);
            thread_.reset();
        }
        return job_->result;
    }

private:
    struct Job {
        Transfer transfer;
        std::wstring url, localPath;
        DWORD timeoutMs;
        DownloadOptions options;
        HRESULT result;
    };
    static void Run(Job& job) noexcept {
        try {
            job.result = job.transfer(job.url, job.localPath, job.timeoutMs, job.options);
        } catch (...) {
            job.result = E_OUTOFMEMORY;
        }
    }
    std::shared_ptr<Job> job_;  // shared with the thread
    win::Handle thread_;
};

}  // namespace

std::wstring CatalogueSerialPath(const std::wstring& workFolder) {
    return workFolder + L"catalogue_serial.txt";
}

ReleaseCheck::ReleaseCheck(ReleasePolicy policy, Transfer transfer)
    : policy_(std::move(policy)), transfer_(std::move(transfer)) {}

std::wstring ReleaseCheck::NameOf(const std::wstring& url) const {
    return url.compare(0, policy_.baseUrl.size(), policy_.baseUrl) == 0
               ? url.substr(policy_.baseUrl.size())
               : url;
}

HRESULT ReleaseCheck::Accept(DWORD timeoutMs) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!tried_) {
        tried_ = true;
        accepted_ = FetchManifest(timeoutMs);
    }
    return accepted_;
}

// One file, so that no cache between can pair a manifest with another's signature.
HRESULT ReleaseCheck::FetchSignedRelease(DWORD timeoutMs, std::string& bytes,
                                         std::string& signature) {
    const std::wstring name = win::ToWide(kSignedReleaseName);
    const std::wstring body = policy_.workFolder + name + L".unverified";
    const Leftovers leftovers(body, std::wstring());
    DownloadOptions options;
    options.maxBytes = kReleaseManifestMaxBytes + 2 * kSignatureBytes + 12;
    const HRESULT result = transfer_(policy_.baseUrl + name, body, timeoutMs, options);
    if (result == HttpStatusResult(404)) return result;  // an earlier publisher's server
    if (result != S_OK)
        return Refuse(name, result,
                      L"it could not be fetched (" + DownloadFailureText(result, timeoutMs) + L")");
    std::string whole, problem;
    std::string_view manifest;
    if (!ReadFileHead(body, options.maxBytes + 1, whole))
        return Refuse(name, Win32Failure(ERROR_READ_FAULT), L"it could not be read back");
    if (!SplitSignedRelease(whole, manifest, signature, problem))
        return Refuse(name, kSignatureMissing, win::FromUtf8(problem));
    bytes = std::string(manifest);
    return S_OK;
}

HRESULT ReleaseCheck::FetchPair(DWORD timeoutMs, std::string& bytes, std::string& sig) {
    const std::wstring name = win::ToWide(kReleaseManifestName);
    const std::wstring url = policy_.baseUrl + name;
    const std::wstring body = policy_.workFolder + name + L".unverified";
    const std::wstring signature = policy_.workFolder + name + L".sig";
    const Leftovers leftovers(body, signature);

    // The two are fetched at once: on a distant server that saves a round trip.
    DownloadOptions signatureOptions;
    signatureOptions.maxBytes = kSignatureBytes;
    BesideFetch signatureFetch(transfer_, url + L".sig", signature, timeoutMs, signatureOptions);
    DownloadOptions options;
    options.maxBytes = kReleaseManifestMaxBytes;
    HRESULT result = transfer_(url, body, timeoutMs, options);
    const HRESULT signatureResult = signatureFetch.Result();
    // Either one refused by the proxy: worth again once credentials are given.
    if (signatureResult == kDownloadProxyAuthRequired) result = signatureResult;
    if (result != S_OK)
        return Refuse(name, result,
                      L"it could not be fetched (" + DownloadFailureText(result, timeoutMs) + L")");
    if (signatureResult != S_OK)
        return Refuse(name, kSignatureMissing,
                      L"its signature could not be fetched (" +
                          DownloadFailureText(signatureResult, timeoutMs) + L")");
    if (!ReadFileHead(body, kReleaseManifestMaxBytes + 1, bytes) ||
        !ReadFileHead(signature, kSignatureBytes + 1, sig))
        return Refuse(name, Win32Failure(ERROR_READ_FAULT), L"it could not be read back");
    return S_OK;
}

HRESULT ReleaseCheck::FetchManifest(DWORD timeoutMs) {
    std::wstring name = win::ToWide(kSignedReleaseName);
    std::string bytes, sig;
    HRESULT result = FetchSignedRelease(timeoutMs, bytes, sig);
    if (result == HttpStatusResult(404)) {
        win::Diag(L"[Pelmora]" + name + L" not on the server; release.txt and its signature "
                  L"taken instead\n");
        name = win::ToWide(kReleaseManifestName);
        result = FetchPair(timeoutMs, bytes, sig);
    }
    if (result != S_OK) return result;  // logged
    if (sig.size() != kSignatureBytes)
        return Refuse(name, kSignatureInvalid, L"its signature is " + std::to_wstring(sig.size()) +
                                                   L" bytes, not " +
                                                   std::to_wstring(kSignatureBytes));
    if (!VerifyMakerSignature(policy_.key, bytes, sig))
        return Refuse(name, kSignatureInvalid, L"its signature is not the maker's");

    std::string problem;
    const std::optional<ReleaseManifest> manifest = ReadReleaseManifest(bytes, problem);
    if (!manifest)
        return Refuse(name, kReleaseUnreadable, L"it does not read: " + win::FromUtf8(problem));
    const uint64_t highest = HighestAcceptedSerial(policy_.serialFile);
    switch (JudgeRelease(*manifest, highest, policy_.today ? policy_.today : TodayUtc())) {
    case FreshnessVerdict::Fresh:
    case FreshnessVerdict::Unreadable: break;
    case FreshnessVerdict::Replayed:
        return Refuse(name, kReleaseNotFresh,
                      L"serial " + std::to_wstring(manifest->serial) + L" is older than serial " +
                          std::to_wstring(highest) + L" accepted before");
    case FreshnessVerdict::Expired:
        return Refuse(name, kReleaseNotFresh, L"it expired on " + DateText(manifest->expires));
    }
    index_ = ReleaseIndex::Make(*manifest, win::ToUtf8(policy_.baseUrl), problem);
    if (!index_)
        return Refuse(name, kReleaseUnreadable, L"it does not read: " + win::FromUtf8(problem));

    if (manifest->serial > highest &&
        !win::ReplaceFileWith(policy_.serialFile, std::to_string(manifest->serial) + "\r\n"))
        win::Diag(L"[Pelmora]Release serial could not be kept: " +
                  win::ErrorCodeText(::GetLastError()) + L"\n");
    win::Diag(L"[Pelmora]Release " + std::to_wstring(manifest->serial) + L" accepted: " +
              std::to_wstring(index_->size()) + L" files, good until " +
              DateText(manifest->expires) + L"\n");
    return S_OK;
}

HRESULT ReleaseCheck::Constrain(const std::wstring& url, DownloadOptions& options) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!index_)
        return Refuse(NameOf(url), kNotInRelease, L"no signed release manifest was accepted");
    const ReleaseEntry* entry = index_->Find(win::ToUtf8(url));
    if (!entry)
        return Refuse(NameOf(url), kNotInRelease,
                      L"the release manifest does not list it; not requested");
    // A cap of 0 would mean none: an empty file gets one byte, which its digest then refuses.
    options.maxBytes = entry->size ? entry->size : 1;
    options.expectedDigest = entry->digest;
    return S_OK;
}

std::optional<std::string> ReleaseCheck::SilentArguments(const std::wstring& url) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    const ReleaseEntry* entry = index_ ? index_->Find(win::ToUtf8(url)) : nullptr;
    return entry ? entry->silentArguments : std::nullopt;
}

HRESULT ReleaseCheck::Fetch(const std::wstring& url, const std::wstring& localPath,
                            DWORD timeoutMs) {
    HRESULT result = Accept(timeoutMs);
    if (result != S_OK)
        return Refuse(NameOf(url), result, L"no signed release manifest was accepted");
    DownloadOptions options;
    result = Constrain(url, options);
    if (result != S_OK) return result;
    return Recover(url, transfer_(url, localPath, timeoutMs, options),
                   [&](const std::wstring& immutable) {
                       return transfer_(immutable, localPath, timeoutMs, options);
                   });
}

HRESULT ReleaseCheck::FetchAhead(const std::wstring& url, const std::wstring& localPath,
                                 DWORD timeoutMs, const DownloadOptions& options) {
    const HRESULT fetched = transfer_(url, localPath, timeoutMs, options);
    HRESULT result = Accept(timeoutMs);
    if (result != S_OK) {
        ::DeleteFileW(localPath.c_str());  // may not exist
        return Refuse(NameOf(url), result, L"no signed release manifest was accepted");
    }
    // Larger than the early cap but perhaps as listed: fetched again, bound to its entry.
    if (fetched == kDownloadTooLarge) return Fetch(url, localPath, timeoutMs);
    if (fetched != S_OK) return fetched;
    DownloadOptions entry;
    result = Constrain(url, entry);
    if (result == S_OK) {
        const win::File file(::CreateFileW(localPath.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER size{};
        if (!file || !::GetFileSizeEx(file.get(), &size)) {
            result = Win32Failure(ERROR_READ_FAULT);
        } else if (static_cast<uint64_t>(size.QuadPart) > entry.maxBytes) {
            result = kDownloadTooLarge;
        } else {
            const std::optional<Sha256Digest> digest = HandleSha256(file.get());
            if (!digest) result = Win32Failure(ERROR_READ_FAULT);
            else if (*digest != *entry.expectedDigest) result = kDownloadDigestMismatch;
        }
    }
    if (result != S_OK) ::DeleteFileW(localPath.c_str());
    if (result != kDownloadTooLarge && result != kDownloadDigestMismatch) return result;
    // Files fetched ahead run side by side: their recoveries cost one round trip in all.
    return Recover(url, result, [&](const std::wstring& immutable) {
        return transfer_(immutable, localPath, timeoutMs, entry);
    });
}

void ReleaseCheck::CredentialsGiven() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (accepted_ != kDownloadProxyAuthRequired || triedWithCredentials_) return;
    triedWithCredentials_ = true;
    tried_ = false;
    win::Diag(L"[Pelmora]Release manifest to be fetched again with the proxy credentials\n");
}

HRESULT ReleaseCheck::Explain(const std::wstring& url, HRESULT result) const {
    if (result == kDownloadDigestMismatch)
        return Refuse(NameOf(url), result, L"its bytes are not those the release manifest lists");
    if (result == kDownloadTooLarge)
        return Refuse(NameOf(url), result,
                      L"its body is larger than the release manifest's size, cut off there");
    return result;
}

HRESULT ReleaseCheck::Recover(const std::wstring& url, HRESULT result,
                              const std::function<HRESULT(const std::wstring&)>& again) const {
    if (result != kDownloadDigestMismatch && result != kDownloadTooLarge) return result;
    std::wstring immutable;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const ReleaseEntry* entry = index_ ? index_->Find(win::ToUtf8(url)) : nullptr;
        if (entry) immutable = win::FromUtf8(entry->immutableUrl);
    }
    if (immutable.empty()) return Explain(url, result);
    win::Diag(L"[Pelmora]" + NameOf(url) + L" is not the release's (an older copy at a cache?); "
              L"taken from " + NameOf(immutable) + L"\n");
    const HRESULT recovered = again(immutable);
    if (recovered == S_OK) return S_OK;
    if (recovered == kDownloadDigestMismatch || recovered == kDownloadTooLarge)
        return Refuse(NameOf(url), result,
                      L"its bytes are not those the release manifest lists, nor are those of " +
                          NameOf(immutable));
    return Refuse(NameOf(url), recovered,
                  L"its bytes are not those the release manifest lists, and " +
                      NameOf(immutable) + L" could not be fetched (" +
                      DownloadFailureText(recovered, 0) + L")");
}

Downloader CheckedDownloader(std::shared_ptr<ReleaseCheck> check) {
    return [check = std::move(check)](const std::wstring& url, const std::wstring& localPath,
                                      DWORD timeoutMs) {
        return check->Fetch(url, localPath, timeoutMs);
    };
}

}  // namespace pelmora
