// The steps of Pelmora's own update check, free of windows so that every
// start (the window's, a script's) takes the same ones: fetch the
// self-version file, read the version it offers, compare it with Pelmora's
// uninstall key, fetch the installer the file or the signed release vouches
// for and check it.
#pragma once
#include "download/transfer/server_files_win.h"
#include "trust/sha256.h"
#include "win/handles_win.h"

#include <windows.h>

#include <optional>
#include <string>

namespace pelmora {

// Pelmora's folder below the local root, and the self-version file in it.
std::wstring SelfVersionFolder();
std::wstring SelfVersionFile();

// Fetches the self-version file with `download`; `askCredentials`, when
// given, may let the user answer a proxy's 407 once, and the file is then
// fetched again. The transfer's result.
HRESULT FetchSelfVersionFile(const Downloader& download,
                             const std::function<bool(const std::wstring& url)>& askCredentials);

// The version in the self-version file at `path`, in the ANSI code page;
// false when the file cannot be opened.
bool ReadSelfVersion(const std::wstring& path, std::wstring& version);

// The version the fetched file offers; nullopt (logged) when it names none
// that reads.
std::optional<std::wstring> OfferedSelfVersion();

// True when Pelmora's uninstall key shows another version than `offered`.
bool SelfUpdateAvailable(const std::wstring& offered);

// Pelmora's installer, fetched below Pelmora's folder and checked against its
// digest (the signed release's entry with the maker's key, the self-version
// file's otherwise).
struct SelfInstaller {
    HRESULT result = E_FAIL;  // S_OK when `path` holds the checked installer
    std::wstring path;
    std::optional<Sha256Digest> digest;
    win::File held;  // open for reading only from the check on: what runs is what was checked
};
SelfInstaller FetchSelfInstaller();

}  // namespace pelmora
