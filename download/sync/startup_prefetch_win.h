// Start-up files requested ahead of their turn: a round trip each is what a
// distant server costs, and files whose fetching does not depend on one
// another can share it. Each is handed over only when the start-up asks for
// it, so local files are still replaced, and failures still met, in the
// start-up's own order.
#pragma once
#include "download/transfer/server_files_win.h"

#include <memory>
#include <string>
#include <vector>

namespace pelmora {

class StartupPrefetch {
  public:
    // Fetches each URL now through `transport`, each on its own thread, into
    // a temporary file in `stagingFolder` (same volume as where they go).
    StartupPrefetch(Downloader transport, const std::vector<std::wstring>& urls,
                    const std::wstring& stagingFolder, DWORD timeoutMs);
    // The same, with the early fetches made through `ahead` (which may check
    // what arrived only once it has arrived) and later ones through `transport`.
    StartupPrefetch(Downloader transport, Downloader ahead, const std::vector<std::wstring>& urls,
                    const std::wstring& stagingFolder, DWORD timeoutMs);
    // Discard().
    ~StartupPrefetch();
    StartupPrefetch(const StartupPrefetch&) = delete;
    StartupPrefetch& operator=(const StartupPrefetch&) = delete;

    // A Downloader that answers the first request of a prefetched URL from
    // its fetch (waiting for it to end, windows painted) by moving its file
    // into place, and every other request through `transport`. Safe from
    // several threads; it stays usable after Discard().
    Downloader Serving() const;
    // Like Serving(), but only `url`'s fetch is handed over by it, and it is
    // taken out now: Discard() no longer gives it up. For a caller that
    // comes after the start-up (another thread).
    Downloader Keep(const std::wstring& url);

    // Gives up the fetches not handed over yet: their files are removed when
    // they end, and later requests of their URLs go to the server.
    void Discard();

    struct State;

  private:
    std::shared_ptr<State> state_;
};

}  // namespace pelmora
