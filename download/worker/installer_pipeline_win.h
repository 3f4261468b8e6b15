// The installer pipeline for a front-end that cannot be asked anything: a
// script's run and Pelmora's own update. Fetch (as Start fetches: resumable,
// bound to the release, version.txt; a failed attempt is not retried, the
// next run continues it) → private copy checked against the digest → start.
// The window takes the same steps, with its retry question, its progress and
// the user's press between the fetch and the start.
#pragma once
#include "download/release/release_check_win.h"
#include "download/worker/package_worker.h"
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

// Runs a checked private copy of `installer` hidden with `arguments` and
// waits up to `timeoutMs` for it to end. An installer still running then is
// left running: stopping it half-way could leave the tool broken.
InstallerExit RunInstallerSilently(const FetchedInstaller& installer,
                                   const std::wstring& folderName, const std::wstring& arguments,
                                   DWORD timeoutMs);

}  // namespace pelmora
