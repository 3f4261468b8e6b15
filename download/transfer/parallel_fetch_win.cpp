#include "download/transfer/parallel_fetch_win.h"

#include "download/transfer/download_to_file_win.h"
#include "download/transfer/painting_wait_win.h"
#include "win/diagnostics_win.h"
#include "win/files_win.h"
#include "win/handles_win.h"
#include "win/text_win.h"
#include "win/thread_win.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <set>

namespace pelmora {
namespace {

constexpr SIZE_T kTransferStackBytes = 256 * 1024;

// Shared by the caller and the transfer threads; the last holder frees it.
struct Batch {
    Downloader download;
    FetchedItem fetched;
    DWORD timeoutMs = 0;
    std::vector<FetchItem> items;
    std::vector<HRESULT> results;
    std::mutex lock;
    size_t next = 0;
    std::set<std::u16string> deadHosts;
    bool closing = false;  // the caller has left: no more effects on items' files
    size_t running = 0;
    win::Handle allDone;
};

// The next item to fetch, skipping those of hosts that timed out; false when
// there is none or the caller has left. Under the batch's lock.
bool TakeItem(Batch& batch, size_t& index) {
    while (!batch.closing && batch.next < batch.items.size()) {
        const size_t i = batch.next++;
        if (!batch.deadHosts.count(batch.items[i].host)) {
            index = i;
            return true;
        }
        batch.results[i] = kFetchSkipped;
        win::Diag(L"[Pelmora]" + batch.items[i].url + L" left for the next start: " +
                  win::ToWide(batch.items[i].host) + L" timed out\n");
    }
    return false;
}

void RunTransfers(Batch& batch) noexcept {
    for (;;) {
        size_t i = 0;
        {
            const std::lock_guard<std::mutex> guard(batch.lock);
            if (!TakeItem(batch, i)) break;
        }
        const FetchItem& item = batch.items[i];
        HRESULT result = E_OUTOFMEMORY;
        std::wstring staging;
        try {
            // Fetched beside the file and moved in under the lock, so a caller
            // that has left never finds an item's file changed after it.
            staging = win::TemporaryNameBeside(item.localPath);
            result = batch.download(item.url, staging, batch.timeoutMs);
        } catch (...) {
            result = E_OUTOFMEMORY;
        }
        const std::lock_guard<std::mutex> guard(batch.lock);
        if (result == S_OK && !batch.closing && !win::MoveReplacing(staging, item.localPath))
            result = HRESULT_FROM_WIN32(::GetLastError());
        if (result != S_OK || batch.closing) ::DeleteFileW(staging.c_str());  // may not exist
        if (batch.closing) break;
        batch.results[i] = result;
        if (result == S_OK && batch.fetched) batch.fetched(i);
        if (result == kDownloadTimedOut || result == kDownloadTooSlow)
            batch.deadHosts.insert(item.host);
    }
    const std::lock_guard<std::mutex> guard(batch.lock);
    if (--batch.running == 0) ::SetEvent(batch.allDone.get());
}

}  // namespace

FetchBatchEnd FetchInParallel(const Downloader& download, std::vector<FetchItem> items,
                              DWORD timeoutMs, size_t transfers, std::vector<HRESULT>& results,
                              HANDLE stop, FetchedItem fetched) {
    results.assign(items.size(), kFetchSkipped);
    if (items.empty()) return FetchBatchEnd::Done;
    const auto batch = std::make_shared<Batch>();
    batch->download = download;
    batch->fetched = std::move(fetched);
    batch->timeoutMs = timeoutMs;
    batch->items = std::move(items);
    batch->results.assign(batch->items.size(), kFetchSkipped);
    batch->allDone.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!batch->allDone) {
        win::Diag(L"[Pelmora]No event for the transfers: " +
                  win::ErrorCodeText(::GetLastError()) + L"\n");
        return FetchBatchEnd::Done;
    }
    transfers = std::max<size_t>(1, std::min(transfers, batch->items.size()));
    for (size_t t = 0; t < transfers; ++t) {
        {
            const std::lock_guard<std::mutex> guard(batch->lock);
            ++batch->running;
        }
        if (win::StartDetachedThread([batch] { RunTransfers(*batch); }, kTransferStackBytes))
            continue;
        win::Diag(L"[Pelmora]Transfer thread not started: " +
                  win::ErrorCodeText(::GetLastError()) + L"\n");
        const std::lock_guard<std::mutex> guard(batch->lock);
        if (--batch->running == 0) ::SetEvent(batch->allDone.get());
    }
    const HANDLE waits[] = {batch->allDone.get(), stop};
    const DWORD wait = WaitKeepingWindowsPainted(stop ? 2 : 1, waits, INFINITE, true);
    const bool stopped = wait == kWaitCloseQueued || wait == WAIT_OBJECT_0 + 1;
    const std::lock_guard<std::mutex> guard(batch->lock);
    if (wait != WAIT_OBJECT_0) {
        batch->closing = true;
        win::Diag(stopped ? L"[Pelmora]Window closing: the remaining transfers are left\n"
                          : L"[Pelmora]Waiting for the transfers failed: " +
                                win::ErrorCodeText(::GetLastError()) + L"; they are left\n");
    }
    results = batch->results;
    return stopped ? FetchBatchEnd::CloseQueued : FetchBatchEnd::Done;
}

}  // namespace pelmora
