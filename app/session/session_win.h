// What one run of Pelmora works with, built once at the process's start and
// handed down: where the server is, the maker's key and the release it
// accepted, how files are fetched, the machine's policy and where local files
// go. The window and the switch lines get the same one.
#pragma once
#include "app/settings/machine_policy_win.h"
#include "download/release/release_check_win.h"
#include "download/transfer/server_files_win.h"
#include "trust/installer_publisher.h"
#include "trust/release_manifest.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace pelmora {

class StartupPrefetch;

class Session {
  public:
    // Built from what is given; `localRoot` is the common documents folder
    // and one backslash; `elevatedFolder` (ending in a backslash) is where an
    // elevated run keeps its own work, empty for a run that is not elevated.
    Session(std::wstring baseUrl, std::optional<MakerPublicKey> makerKey, MachinePolicy policy,
            std::wstring localRoot, Publishers publishers = {},
            std::wstring elevatedFolder = {});
    // From this machine: PELMORA_BASE_URL or the built-in base URL, the
    // built-in key (`makerKeyHex`, empty: none) and publisher
    // (`publisherThumbprints`, empty: none), the policies, the local root,
    // and for an elevated line of switches <ProgramData>\Korvath\Pelmora\.
    // The window keeps its files where the user sees them, elevated or not:
    // someone is there to press Install; a scheduled run has nobody.
    static std::unique_ptr<Session> FromMachine(const char* makerKeyHex,
                                                const char* publisherThumbprints,
                                                bool switchLine);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const std::wstring& BaseUrl() const noexcept { return baseUrl_; }
    const std::wstring& LocalRoot() const noexcept { return localRoot_; }
    // Where this run keeps what only it uses: downloads, the log, the kept
    // serial. Below the shared folder (Korvath\tools\Pelmora\) for a user's
    // run; an elevated one keeps them where users cannot write.
    const std::wstring& WorkFolder() const noexcept { return workFolder_; }
    bool Elevated() const noexcept { return elevated_; }
    // An elevated run's folder, made (or found) at construction only SYSTEM's
    // and the Administrators': ERROR_SUCCESS, or why it cannot be used (then
    // nothing is written there and the start-up ends).
    DWORD WorkFolderError() const noexcept { return workFolderError_; }
    // Below which private installer copies go: the work folder when
    // elevated, empty (the user's temporary folder) otherwise.
    std::wstring PrivateRoot() const { return elevated_ ? workFolder_ : std::wstring(); }
    const MachinePolicy& Policy() const noexcept { return policy_; }
    // The signed release this run accepts; null without the maker's key.
    const std::shared_ptr<ReleaseCheck>& Release() const noexcept { return release_; }
    // Whose signature an installer must carry; empty with the maker's key
    // (the release's entry vouches for it) and in a build without a publisher.
    const Publishers& InstallerSigners() const noexcept { return signers_; }

    // DownloadToFile without a progress row, a text file capped and the
    // start-up's rate floor unless the options say otherwise.
    static Transfer StartupTransfer();
    // StartupTransfer; with the maker's key, checked against the release.
    // While StartupFetches live, the start-up's small files come from them.
    Downloader StartupDownloader() const;
    // The server's files with StartupDownloader and the release's entries.
    ServerFiles Server() const;
    // Server() for the pictures beside the window: the picture stamps' early
    // fetch is kept for them even after the start-up's fetches have ended.
    ServerFiles PictureServer();

    // Korvath\tools\Pelmora\ and the folders above it, made where missing;
    // whether they can be written is the start-up's to tell.
    void MakeOwnFolders() const;

    // The user has given the proxy's credentials: with the maker's key, a
    // manifest the proxy refused is fetched again with them (once).
    void ProxyCredentialsGiven();

    // From its construction to its end, the self-version file, the catalogue
    // and the two stamp files are fetched at once, ahead of their turn; with
    // the maker's key, beside the signed manifest, each taken only once it
    // was accepted and lists it as fetched. Each is handed over when the
    // start-up asks. They need only the base URL and the key, so they may
    // start before the window exists; a second instance must not start them.
    class StartupFetches {
      public:
        explicit StartupFetches(Session& session);
        ~StartupFetches();
        StartupFetches(const StartupFetches&) = delete;
        StartupFetches& operator=(const StartupFetches&) = delete;

      private:
        Session& session_;
    };

  private:
    Downloader DirectDownloader() const;
    Downloader AheadDownloader() const;

    const std::wstring baseUrl_;
    const std::wstring localRoot_;
    const bool elevated_;
    const std::wstring workFolder_;
    const DWORD workFolderError_;
    const MachinePolicy policy_;
    const std::shared_ptr<ReleaseCheck> release_;  // null without the maker's key
    const Publishers signers_;
    // The start-up's fetches: read by the window thread and a switch line's
    // one thread alike, so guarded.
    mutable std::mutex prefetchLock_;
    std::unique_ptr<StartupPrefetch> prefetch_;
};

}  // namespace pelmora
