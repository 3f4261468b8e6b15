#include "app/self_update/self_version_check_win.h"

#include "win/stdio_file_ex_win.h"
#include "catalogue/model/install_detection.h"
#include "catalogue/model/install_detection_win.h"
#include "win/local_text_win.h"
#include "catalogue/model/self_version.h"
#include "catalogue/workflow/program_table_win.h"
#include "download/release/fetch_as_released_win.h"
#include "download/transfer/download_failure_win.h"
#include "win/diagnostics_win.h"
#include "win/text_win.h"

namespace pelmora {
namespace {

std::wstring SelfKey() {
    return win::ToWide(SelfUninstallKeyName());
}

}  // namespace

std::wstring SelfVersionFolder(const Session& session) {
    return session.LocalRoot() + kPelmoraFolder;
}
std::wstring SelfVersionFile(const Session& session) {
    return SelfVersionFolder(session) + L"Pelmora.txt";
}

HRESULT FetchSelfVersionFile(Session& session,
                             const std::function<bool(const std::wstring& url)>& askCredentials) {
    win::Diag(L"[Pelmora]DownloadToFile, Pelmora.txt Start!!\n");
    const std::wstring url = session.BaseUrl() + L"Pelmora.txt";
    const std::wstring file = SelfVersionFile(session);
    HRESULT fetched = session.StartupDownloader()(url, file, kSmallFileTimeoutMs);
    // The run's first fetch: what the proxy wants and WinINet cannot answer, the user may.
    if (fetched == kDownloadProxyAuthRequired && askCredentials && askCredentials(url)) {
        session.ProxyCredentialsGiven();
        fetched = session.StartupDownloader()(url, file, kSmallFileTimeoutMs);
    }
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

std::optional<std::wstring> OfferedSelfVersion(const Session& session) {
    std::wstring version;
    if (!ReadSelfVersion(SelfVersionFile(session), version)) return std::nullopt;
    if (!IsReadableVersion(win::ToUtf8(version))) {
        win::Diag(L"[Pelmora]Pelmora.txt names no readable version (\"" + version +
                  L"\"); no update is offered\n");
        return std::nullopt;
    }
    return version;
}

bool SelfUpdateAvailable(const std::wstring& offered) {
    return CheckInstalled(SelfKey(), offered) != Latest;
}

std::wstring InstalledSelfVersion() {
    return InstalledVersion(SelfKey());
}

std::wstring SelfInstallerUrl(const Session& session) {
    return session.BaseUrl() + L"Pelmora/setup.exe";
}

namespace {

std::string SelfFileBytes(const Session& session) {
    std::string bytes;
    ReadFileHead(SelfVersionFile(session), kStampFileMaxBytes, bytes);
    return bytes;
}

// One of Pelmora's own packages below Pelmora/ on the server.
FetchedInstaller FetchSelfPackage(const Session& session, const std::wstring& offered,
                                  const std::u16string& file, const std::wstring& url,
                                  const std::optional<Sha256Digest>& fileDigest) {
    PackageJob job;
    job.name = u"Pelmora";
    job.serverVersion = win::ToU16(offered);
    job.folderUrl = win::ToU16(session.BaseUrl() + L"Pelmora");
    job.setupFile = file;
    job.versionMatches =
        VersionFileMatches(DownloadedVersionFilePath(session.WorkFolder(), L"Pelmora"), offered);
    job.expectedDigest = InstallerDigest(session.Release().get(), url, fileDigest);
    const FetchedInstaller installer =
        FetchInstallerQuietly(session.WorkFolder(), session.Release(), job, session.PrivateRoot());
    if (installer.path.empty())
        win::Diag(L"[Pelmora]Pelmora's " + win::ToWide(file) + L" could not be fetched (" +
                  win::FromUtf8(installer.reason) + L")\n");
    return installer;
}

}  // namespace

FetchedInstaller FetchSelfInstaller(const Session& session, const std::wstring& offered) {
    // The file names the installer's digest; with the maker's key the signed
    // release's entry is what the installer must match.
    return FetchSelfPackage(session, offered, u"setup.exe", SelfInstallerUrl(session),
                            SelfInstallerDigestFromFile(SelfFileBytes(session)));
}

std::wstring SelfMsiUrl(const Session& session) {
    return session.BaseUrl() + L"Pelmora/Pelmora.msi";
}

bool SelfMsiOffered(const Session& session) {
    return SelfMsiDigestFromFile(SelfFileBytes(session)).has_value();
}

FetchedInstaller FetchSelfMsi(const Session& session, const std::wstring& offered) {
    return FetchSelfPackage(session, offered, u"Pelmora.msi", SelfMsiUrl(session),
                            SelfMsiDigestFromFile(SelfFileBytes(session)));
}

}  // namespace pelmora
