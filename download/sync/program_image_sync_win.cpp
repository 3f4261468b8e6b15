#include "download/sync/program_image_sync_win.h"

#include "win/local_text_win.h"
#include "catalogue/model/safe_name.h"
#include "catalogue/model/version_stamps.h"
#include "download/transfer/parallel_fetch_win.h"
#include "download/sync/local_release_files_win.h"
#include "download/sync/program_image_files.h"
#include "download/url/url_host.h"
#include "win/diagnostics_win.h"
#include "win/files_win.h"
#include "win/text_win.h"
#include "win/thread_win.h"

#include <vector>

namespace pelmora {
namespace {

// One spelling for both the writer and the reader, so a file system that
// tells case apart still finds the pictures.
constexpr wchar_t kImageFolder[] = L"image";

bool ReadStamps(const std::wstring& path, std::vector<std::string>& stamps) {
    std::string bytes;
    if (!ReadFileHead(path, kStampFileMaxBytes, bytes)) return false;
    stamps = ImageStamps(bytes);
    return true;
}

// The listed row that catalogue line `line` became, or null when the line
// was dropped (not offered here) or there is none.
const ProgramRecord* RowOfLine(const ProgramTable& table, size_t line) {
    for (int row = 0; row < table.programCount; ++row)
        if (table.records[row].catalogueLine == static_cast<int32_t>(line))
            return &table.records[row];
    return nullptr;
}

// Adds the five pictures of catalogue line `line` to `items`; false when the
// line's pictures cannot arrive this time, true when they will be fetched or
// there is nothing to fetch.
bool AddPictures(const ServerFiles& server, const ProgramTable& table, size_t line,
                 std::vector<FetchItem>& items) {
    const ProgramRecord* record = RowOfLine(table, line);
    if (!record) {
        if (line >= static_cast<size_t>(table.catalogueLineCount)) {
            win::Diag(L"[Pelmora]Image line " + std::to_wstring(line) + L" has no program\n");
            return true;
        }
        // Its line stays as it was, so the pictures come once the tool is listed here.
        return false;
    }
    const std::wstring name = win::ToWide(record->nameEnglish);
    if (!SafeProgramName(name, L"pictures are fetched", table.nameLengthLimit)) return true;
    const std::wstring folder = ProgramImageFolder(server.localRoot, name);
    win::EnsureFolder(folder);
    const std::wstring location = win::ToWide(record->imageLocation);
    const std::u16string host = UrlHost(record->imageLocation);
    for (std::u16string_view file : kProgramImageFiles) {
        const std::wstring fileName = win::ToWide(file);
        items.push_back(FetchItem{location + L"/" + fileName, folder + L"\\" + fileName, host});
    }
    return true;
}

// With the maker's key, an unchanged line's pictures that are not as the
// release lists them (a crash can leave zeros behind a stamp).
void AddPicturesNotAsReleased(const ServerFiles& server, const ProgramTable& table, size_t line,
                              std::vector<FetchItem>& items) {
    if (!server.release || !RowOfLine(table, line)) return;
    std::vector<FetchItem> pictures;
    AddPictures(server, table, line, pictures);
    std::vector<LocalReleaseFile> files;
    for (const FetchItem& item : pictures) files.push_back({item.url, item.localPath});
    for (const size_t i : FilesNotAsReleased(files, server.release)) items.push_back(pictures[i]);
}

// False when `stop` came first.
bool WaitToRecheck(HANDLE stop, HANDLE recheck) {
    const HANDLE events[] = {recheck, stop};
    return ::WaitForMultipleObjects(stop ? 2 : 1, events, FALSE, kRecheckWaitMs) !=
           WAIT_OBJECT_0 + 1;
}

}  // namespace

bool SafeProgramName(const std::wstring& name, const wchar_t* what, size_t maxLength) {
    const std::u16string u16 = win::ToU16(name);
    const std::string_view problem = FileNameProblem(u16, maxLength);
    if (problem.empty()) return true;
    win::Diag(std::wstring(L"[Pelmora]No ") + what + L" for \"" + win::ToWide(PrintableName(u16)) +
              L"\": " + win::FromUtf8(problem) + L"\n");
    return false;
}

std::wstring ProgramImageFolder(const std::wstring& localRoot, const std::wstring& programName) {
    return localRoot + kPelmoraFolder + kImageFolder + L"\\" + programName;
}

bool SyncProgramImages(const ServerFiles& server, const ProgramTable& table) {
    return SyncProgramImages(server, table, nullptr, {});
}

bool SyncProgramImages(const ServerFiles& server, const ProgramTable& table, HANDLE stop,
                       const std::function<void(const std::wstring& path)>& arrived,
                       HANDLE recheck) {
    win::EnsureFolder(server.localRoot + kPelmoraFolder + kImageFolder);
    const std::wstring versionFile = server.localRoot + kPelmoraFolder + L"image_version.txt";
    // The server's lines wait here; each is kept only once its pictures arrived.
    const std::wstring fetchedStamps = versionFile + L".server";

    std::vector<std::string> oldStamps;
    ReadStamps(versionFile, oldStamps);  // none yet: all empty
    if (server.download(server.baseUrl + L"image_version.txt", fetchedStamps,
                        kSmallFileTimeoutMs) != S_OK)
        return true;
    std::vector<std::string> newStamps;
    const bool readable = ReadStamps(fetchedStamps, newStamps);
    ::DeleteFileW(fetchedStamps.c_str());
    if (!readable) return true;

    // Line j of the stamp file vouches for the pictures of catalogue line j.
    std::vector<bool> complete(newStamps.size(), true);
    std::vector<FetchItem> items;
    std::vector<size_t> lineOfItem;
    for (size_t line = 0; line < newStamps.size(); ++line) {
        if (newStamps[line] == StampAt(oldStamps, line)) {
            if (recheck && server.release) {
                if (!WaitToRecheck(stop, recheck)) return false;
                recheck = nullptr;  // once
            }
            AddPicturesNotAsReleased(server, table, line, items);
        } else {
            complete[line] = AddPictures(server, table, line, items);
        }
        lineOfItem.resize(items.size(), line);
    }
    std::vector<HRESULT> results;
    FetchedItem fetched;
    if (arrived) fetched = [&items, &arrived](size_t i) { arrived(items[i].localPath); };
    const FetchBatchEnd end = FetchInParallel(server.download, items, kSmallFileTimeoutMs,
                                              kParallelTransfers, results, stop, fetched);
    for (size_t i = 0; i < items.size(); ++i) {
        if (results[i] == S_OK) continue;
        complete[lineOfItem[i]] = false;
        if (results[i] != kFetchSkipped)
            win::Diag(L"[Pelmora]Picture " + items[i].url + L" failed: " +
                      std::to_wstring(static_cast<long>(results[i])) + L"\n");
    }
    if (!win::ReplaceFileWith(versionFile, ImageStampsToKeep(oldStamps, newStamps, complete)))
        win::Diag(L"[Pelmora]image_version.txt could not be written: " +
                  win::ErrorCodeText(::GetLastError()) + L"\n");
    return end == FetchBatchEnd::Done;
}

struct BackgroundPictureSync::State {
    std::mutex lock;
    HWND window = nullptr;  // not ours; null once stopped
    UINT message = 0;
    win::Handle stop;
    win::Handle listShown;
    std::vector<std::wstring> arrived;
    bool finished = false;
    bool announced = false;  // a message is on its way: one is enough until Take

    // Under the lock.
    void Announce() {
        if (!window || announced) return;
        announced = ::PostMessageW(window, message, 0, 0) != FALSE;
    }
};

bool BackgroundPictureSync::Start(ServerFiles server, const ProgramTable& table, HWND window,
                                  UINT message) {
    Stop();
    auto state = std::make_shared<State>();
    state->window = window;
    state->message = message;
    state->stop.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    state->listShown.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    // The thread works on its own copy: the window's table may change meanwhile.
    auto copy = std::make_shared<ProgramTable>(table);
    const bool started = state->stop && win::StartDetachedThread(
        [state, copy, server = std::move(server)]() noexcept {
            try {
                SyncProgramImages(
                    server, *copy, state->stop.get(),
                    [&state](const std::wstring& path) {
                        const std::lock_guard<std::mutex> guard(state->lock);
                        if (!state->window) return;
                        state->arrived.push_back(path);
                        state->Announce();
                    },
                    state->listShown.get());
            } catch (...) {
                win::Diag(L"[Pelmora]Picture sync ended early: out of memory\n");
            }
            const std::lock_guard<std::mutex> guard(state->lock);
            state->finished = true;
            state->Announce();
        });
    if (!started) {
        win::Diag(L"[Pelmora]Picture sync not started: error " +
                  std::to_wstring(::GetLastError()) + L"\n");
        return false;
    }
    state_ = std::move(state);
    return true;
}

std::vector<std::wstring> BackgroundPictureSync::Take(bool& finished) {
    finished = false;
    if (!state_) return {};
    const std::lock_guard<std::mutex> guard(state_->lock);
    state_->announced = false;
    finished = state_->finished && state_->window;
    if (finished) state_->window = nullptr;  // told once
    std::vector<std::wstring> arrived;
    arrived.swap(state_->arrived);
    return arrived;
}

void BackgroundPictureSync::ListShown() noexcept {
    if (state_) ::SetEvent(state_->listShown.get());
}

void BackgroundPictureSync::Stop() noexcept {
    if (!state_) return;
    {
        const std::lock_guard<std::mutex> guard(state_->lock);
        if (!state_->finished)
            win::Diag(L"[Pelmora]Window closing: the remaining picture transfers are left\n");
        state_->window = nullptr;
        state_->arrived.clear();
    }
    ::SetEvent(state_->stop.get());
    state_.reset();
}

}  // namespace pelmora
