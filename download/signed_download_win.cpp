#include "download/signed_download_win.h"

#include "trust/catalogue_freshness.h"
#include "catalogue/local_text_win.h"
#include "download/download_to_file_win.h"
#include "trust/signature_win.h"
#include "download/startup_files.h"
#include "win/diagnostics_win.h"
#include "win/files_win.h"
#include "win/text_win.h"

#include <cstdio>
#include <initializer_list>
#include <vector>

namespace pelmora {
namespace {

std::optional<MakerPublicKey> g_makerKey;

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
    if (!serial) win::Diag(L"[Pelmora]Kept catalogue serial does not read; none assumed\n");
    return serial.value_or(0);
}

// Why the catalogue is refused, or empty when it is fresh.
std::wstring FreshnessRefusal(const std::string& bytes, const SignaturePolicy& policy,
                              uint64_t& acceptedSerial) {
    const CatalogueFreshness freshness = ReadCatalogueFreshness(bytes);
    const uint64_t highest = HighestAcceptedSerial(policy.serialFile);
    const int today = policy.today ? policy.today : TodayUtc();
    acceptedSerial = freshness.serial > highest ? freshness.serial : 0;
    switch (JudgeFreshness(freshness, highest, today)) {
    case FreshnessVerdict::Fresh: return {};
    case FreshnessVerdict::Unreadable: return L"its header " + win::FromUtf8(freshness.problem);
    case FreshnessVerdict::Replayed:
        return L"serial " + std::to_wstring(freshness.serial) + L" is older than serial " +
               std::to_wstring(highest) + L" accepted before";
    case FreshnessVerdict::Expired:
        return L"it expired on " + DateText(*freshness.expires);
    }
    return L"unknown freshness";
}

class Leftovers {
public:
    explicit Leftovers(std::initializer_list<std::wstring> paths) : paths_(paths) {}
    ~Leftovers() {
        for (const std::wstring& path : paths_) ::DeleteFileW(path.c_str());
    }
    Leftovers(const Leftovers&) = delete;
    Leftovers& operator=(const Leftovers&) = delete;

private:
    std::vector<std::wstring> paths_;
};

HRESULT FetchSigned(const Downloader& inner, const SignaturePolicy& policy,
                    const std::wstring& url, const std::wstring& localPath, DWORD timeoutMs) {
    const std::wstring name = url.substr(policy.baseUrl.size());
    const std::wstring body = localPath + L".unverified";
    const std::wstring signature = localPath + L".sig";
    const Leftovers leftovers{body, signature};
    const auto refuse = [&](HRESULT result, const std::wstring& why) {
        win::Diag(L"[Pelmora]" + name + L" refused: " + why + L"; taken as a failed download\n");
        return result;
    };

    HRESULT result = inner(url, body, timeoutMs);
    if (result != S_OK) return result;
    result = inner(url + L".sig", signature, timeoutMs);
    if (result != S_OK)
        return refuse(kSignatureMissing, L"its signature could not be fetched (" +
                                                 std::to_wstring(static_cast<long>(result)) + L")");

    std::string bytes, sig;
    if (!ReadFileHead(body, kStartupTextFileMaxBytes, bytes) ||
        !ReadFileHead(signature, kSignatureBytes + 1, sig))
        return refuse(Win32Failure(ERROR_READ_FAULT), L"it could not be read back");
    if (sig.size() != kSignatureBytes)
        return refuse(kSignatureInvalid, L"its signature is " + std::to_wstring(sig.size()) +
                                             L" bytes, not " + std::to_wstring(kSignatureBytes));
    if (!VerifyMakerSignature(policy.key, bytes, sig))
        return refuse(kSignatureInvalid, L"its signature is not the maker's");

    uint64_t acceptedSerial = 0;
    if (name == win::ToWide(kCatalogueFileName)) {
        const std::wstring why = FreshnessRefusal(bytes, policy, acceptedSerial);
        if (!why.empty()) return refuse(kCatalogueNotFresh, why);
    }
    if (!win::MoveReplacing(body, localPath))
        return refuse(Win32Failure(::GetLastError()), L"it could not be put in place");
    if (acceptedSerial &&
        !win::ReplaceFileWith(policy.serialFile, std::to_string(acceptedSerial) + "\r\n"))
        win::Diag(L"[Pelmora]Catalogue serial could not be kept: error " +
                  std::to_wstring(::GetLastError()) + L"\n");
    return S_OK;
}

}  // namespace

void SetMakerKey(std::optional<MakerPublicKey> key) { g_makerKey = key; }
const std::optional<MakerPublicKey>& MakerKey() { return g_makerKey; }

std::wstring CatalogueSerialPath(const std::wstring& localRoot) {
    return localRoot + kPelmoraFolder + L"catalogue_serial.txt";
}

Downloader SignedDownloader(Downloader inner, SignaturePolicy policy) {
    return [inner = std::move(inner), policy = std::move(policy)](
               const std::wstring& url, const std::wstring& localPath, DWORD timeoutMs) {
        if (!IsSignedServerFile(win::ToU16(url), win::ToU16(policy.baseUrl)))
            return inner(url, localPath, timeoutMs);
        return FetchSigned(inner, policy, url, localPath, timeoutMs);
    };
}

}  // namespace pelmora
