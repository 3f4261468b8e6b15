// The steps of Pelmora's own update, free of windows so that every start
// (the window's, a script's) takes the same ones: fetch the self-version
// file, read the version it offers, compare it with Pelmora's uninstall key,
// and fetch the installer the file or the signed release vouches for through
// the installer pipeline.
#pragma once
#include "app/session/session_win.h"
#include "download/worker/installer_pipeline_win.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace pelmora {

// Pelmora's folder below the local root, and the self-version file in it.
std::wstring SelfVersionFolder(const Session& session);
std::wstring SelfVersionFile(const Session& session);

// Fetches the self-version file with the start-up's downloader;
// `askCredentials`, when given, may let the user answer a proxy's 407 once,
// and the file is then fetched again. The transfer's result.
HRESULT FetchSelfVersionFile(Session& session,
                             const std::function<bool(const std::wstring& url)>& askCredentials);

// The version in the self-version file at `path`, in the ANSI code page;
// false when the file cannot be opened.
bool ReadSelfVersion(const std::wstring& path, std::wstring& version);

// The version the fetched file offers; nullopt (logged) when it names none
// that reads.
std::optional<std::wstring> OfferedSelfVersion(const Session& session);

// True when Pelmora's uninstall key shows another version than `offered`.
bool SelfUpdateAvailable(const std::wstring& offered);
// Pelmora's uninstall key's DisplayVersion; empty when none.
std::wstring InstalledSelfVersion();

// The URL of Pelmora's installer.
std::wstring SelfInstallerUrl(const Session& session);

// Pelmora's installer for `offered`, fetched into downloaded_program\Pelmora
// and checked against its digest (the signed release's entry with the
// maker's key, the self-version file's otherwise).
FetchedInstaller FetchSelfInstaller(const Session& session, const std::wstring& offered);

// Pelmora's MSI, for a Pelmora its MSI installed: its URL; whether the
// fetched self-version file names one (the release offers it only then);
// and the MSI for `offered`, fetched and checked as the installer is.
std::wstring SelfMsiUrl(const Session& session);
bool SelfMsiOffered(const Session& session);
FetchedInstaller FetchSelfMsi(const Session& session, const std::wstring& offered);

}  // namespace pelmora
