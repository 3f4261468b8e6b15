#include "app/self_update/self_version_check_win.h"

#include "catalogue/model/install_detection_win.h"
#include "win/local_text_win.h"
#include "catalogue/model/self_version.h"
#include "download/sync/sync_defaults_win.h"
#include "download/transfer/download_failure_win.h"
#include "download/transfer/download_to_file_win.h"
#include "download/url/base_url_win.h"
#include "trust/installer_digest_win.h"
#include "win/diagnostics_win.h"
#include "win/files_win.h"
#include "win/text_win.h"

namespace pelmora {
namespace {

constexpr DWORD kInstallerTimeoutMs = 30000;
constexpr wchar_t kPelmoraUninstallKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pelmora";

}  // namespace

std::wstring SelfVersionFolder() { return win::LocalRoot() + kPelmoraFolder; }
std::wstring SelfVersionFile() { return SelfVersionFolder() + L"Pelmora.txt"; }

HRESULT FetchSelfVersionFile(const Downloader& download,
                             const std::function<bool(const std::wstring& url)>& askCredentials) {
    win::Diag(L"[Pelmora]DownloadToFile, Pelmora.txt Start!!\n");
    const std::wstring url = BaseUrl() + L"Pelmora.txt";
    HRESULT fetched = download(url, SelfVersionFile(), kSmallFileTimeoutMs);
    // The run's first fetch: what the proxy wants and WinINet cannot answer, the user may.
    if (fetched == kDownloadProxyAuthRequired && askCredentials && askCredentials(url))
        fetched = download(url, SelfVersionFile(), kSmallFileTimeoutMs);
    if (fetched != S_OK)
        win::Diag(L"[Pelmora]DownloadToFile, Pelmora.txt Failed!! (" +
                  DownloadFailureText(fetched, kSmallFileTimeoutMs) + L")\n");
    return fetched;
}

bool ReadSelfVersion(const std::wstring& path, std::wstring& version) {
    std::string bytes;
    if (!ReadFileHead(path, kStampFileMaxBytes, bytes)) return false;
    version = win::FromCodePage(SelfVersionFromFile(bytes), CP_ACP);
    return true;
}

std::optional<std::wstring> OfferedSelfVersion() {
    std::wstring version;
    if (!ReadSelfVersion(SelfVersionFile(), version)) return std::nullopt;
    if (!IsReadableVersion(win::ToUtf8(version))) {
        win::Diag(L"[Pelmora]Pelmora.txt names no readable version (\"" + version +
                  L"\"); no update is offered\n");
        return std::nullopt;
    }
    return version;
}

bool SelfUpdateAvailable(const std::wstring& offered) {
    return CheckInstalled(kPelmoraUninstallKey, offered) != Latest;
}

SelfInstaller FetchSelfInstaller() {
    SelfInstaller out;
    const std::wstring folder = SelfVersionFolder();
    const std::wstring installerFolder = folder + L"downloaded_program\\Pelmora";
    win::EnsureFolder(folder + L"downloaded_program");
    win::EnsureFolder(installerFolder);
    out.path = installerFolder + L"\\setup.exe";
    if (win::RefuseLink(out.path)) {  // logged; nothing deleted or written through it
        out.result = HRESULT_FROM_WIN32(win::kLinkRefusedError);
        return out;
    }
    ::DeleteFileW(out.path.c_str());
    // The file names the installer's digest; with the maker's key the signed
    // release's entry is what the installer must match.
    std::string selfFile;
    ReadFileHead(SelfVersionFile(), kStampFileMaxBytes, selfFile);
    DownloadOptions options;
    options.expectedDigest = SelfInstallerDigestFromFile(selfFile);
    const std::wstring url = BaseUrl() + L"Pelmora/setup.exe";
    if (const HRESULT refused = ConstrainToRelease(url, options); refused != S_OK) {
        out.result = refused;  // logged
        return out;
    }
    out.result = ExplainReleaseFailure(
        url, DownloadToFile(url, out.path, 0, nullptr, kInstallerTimeoutMs, false, options));
    if (out.result != S_OK) {
        win::Diag(L"[Pelmora]Pelmora's installer could not be fetched (" +
                  DownloadFailureText(out.result, kInstallerTimeoutMs) + L")\n");
        return out;
    }
    out.digest = options.expectedDigest;
    if (out.digest) {
        out.held = OpenVerified(out.path, *out.digest);
        if (!out.held) {
            win::Diag(L"[Pelmora]Pelmora's installer changed after its download\n");
            ::DeleteFileW(out.path.c_str());
            out.result = kDownloadDigestMismatch;
        }
    }
    return out;
}

}  // namespace pelmora
