// Many small files fetched over a few transfers at once. On the window
// thread its windows keep painting while it waits, and a WM_CLOSE ends the
// wait at once; any thread may end it early with a stop event.
#pragma once
#include "download/transfer/server_files_win.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace pelmora {

struct FetchItem {
    std::wstring url;
    std::wstring localPath;  // its folder exists
    std::u16string host;     // after one time-out (or a trickle) there, the host's other items are skipped
};

// The number of transfers at once: enough to hide the round trips of small
// files, few enough to be fair to the server.
constexpr size_t kParallelTransfers = 8;

enum class FetchBatchEnd { Done, CloseQueued };

// Told on a transfer thread, under the batch's lock, that item i's file is in
// place; never after the call has returned. Must not wait.
using FetchedItem = std::function<void(size_t index)>;

// Fetches every item through `download` (which must be safe to call from
// several threads) with `timeoutMs` each, over up to `transfers` threads.
// An item's file is replaced only when it arrived whole. `results[i]` is the
// Downloader's result for item i, or kFetchSkipped.
// On CloseQueued (a WM_CLOSE waits in the calling thread's queue), the call
// returns without waiting for the transfers: from then on they write none of
// the items' files, and whatever they still hold is freed by the last of them.
// `stop` (optional) set: the same, from any thread.
FetchBatchEnd FetchInParallel(const Downloader& download, std::vector<FetchItem> items,
                              DWORD timeoutMs, size_t transfers, std::vector<HRESULT>& results,
                              HANDLE stop = nullptr, FetchedItem fetched = {});

}  // namespace pelmora
