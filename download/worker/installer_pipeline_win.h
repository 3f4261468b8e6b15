// The installer pipeline for a front-end that cannot be asked anything: a
// script's run and Pelmora's own update. Fetch (as Start fetches: resumable,
// bound to the release, version.txt; a failed attempt is not retried, the
// next run continues it) → private copy checked against the digest → start.
// The window takes the same steps, with its retry question, its progress and
// the user's press between the fetch and the start.
#pragma once
#include "download/release/release_check_win.h"
#include "download/worker/package_worker.h"
#include "trust/installer_publisher.h"
#include "trust/sha256.h"
#include "win/handles_win.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

namespace pelmora {

struct FetchedInstaller {
    std::wstring path;                   // the downloaded installer; empty when it did not arrive
    std::string reason;                  // why not (UTF-8, for a script's result)
    std::optional<Sha256Digest> digest;  // what it matched; none known: it runs unchecked
    std::wstring privateRoot;  // below which its private copy goes; empty: the temporary folder
};

// Fetches `job`'s installer below `workFolder` (the run's); `release` null
// without the maker's key; its private copy will go below `privateRoot`.
FetchedInstaller FetchInstallerQuietly(const std::wstring& workFolder,
                                       std::shared_ptr<ReleaseCheck> release, PackageJob job,
                                       const std::wstring& privateRoot);

struct InstallerExit {
    std::optional<DWORD> code;  // the installer's exit code; none: see reason
    std::string reason;
};

// Runs a private copy of `installer`, checked against its digest and, when
// `signers` names any, their signature, hidden with `arguments` and
// waits up to `timeoutMs` for it to end. An installer still running then is
// ended, with every process it started where the system gives it a job of
// its own: the next installer must not run beside it, and nothing of it is
// judged (the tool may be half-installed; its next run repairs it).
InstallerExit RunInstallerSilently(const FetchedInstaller& installer,
                                   const std::wstring& folderName, const std::wstring& arguments,
                                   DWORD timeoutMs, const Publishers& signers);

// The same for a Windows Installer package: msiexec from the system folder
// installs the checked private copy with /i, /qn, /norestart and
// `properties` (NAME="value" ...).
InstallerExit RunMsiSilently(const FetchedInstaller& installer, const std::wstring& folderName,
                             const std::wstring& properties, DWORD timeoutMs,
                             const Publishers& signers);

}  // namespace pelmora
