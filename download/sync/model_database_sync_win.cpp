#include "download/sync/model_database_sync_win.h"

#include "win/local_text_win.h"
#include "catalogue/model/version_stamps.h"
#include "download/sync/local_release_files_win.h"
#include "download/transfer/download_failure_win.h"
#include "string_ids.h"
#include "win/diagnostics_win.h"
#include "win/files_win.h"
#include "win/string_resources_win.h"
#include "win/text_win.h"

#include <vector>

namespace pelmora {
namespace {

constexpr const wchar_t* kDatabases[] = {L"modelinfo_hq.db", L"modelinfo_amr.db",
                                         L"modelinfo_eur.db", L"modelinfo_chna.db"};

bool ReadStamp(const std::wstring& path, std::string& stamp) {
    std::string bytes;
    if (!ReadFileHead(path, kStampFileMaxBytes, bytes)) return false;
    stamp = DatabaseStamp(bytes);
    return true;
}

}  // namespace

void SyncModelDatabases(const ServerFiles& server, Prompt& prompt) {
    const std::wstring folder = server.localRoot + kToolsFolder;
    const std::wstring versionFile = folder + L"db_version.txt";
    // The server's stamp waits beside the local one until the databases it
    // vouches for have arrived: a start cut short never leaves it claiming them.
    const std::wstring fetchedStamp = versionFile + L".server";

    std::string oldStamp;
    ReadStamp(versionFile, oldStamp);  // none yet: empty
    if (server.download(server.baseUrl + L"db_version.txt", fetchedStamp, kSmallFileTimeoutMs) !=
        S_OK)
        return;
    std::string newStamp;
    const bool readable = ReadStamp(fetchedStamp, newStamp);
    // With the maker's key, an unchanged stamp vouches only for databases
    // that are still as the release lists them (a crash can leave zeros).
    std::vector<LocalReleaseFile> databases;
    for (const wchar_t* name : kDatabases)
        databases.push_back({server.baseUrl + name, folder + name});
    if (!readable || (newStamp == oldStamp && LocalFilesAsReleased(databases, server.release))) {
        if (readable) win::MoveReplacing(fetchedStamp, versionFile);
        ::DeleteFileW(fetchedStamp.c_str());  // gone already when moved
        return;
    }

    // The set replaces the old one whole or not at all: each database waits
    // beside its place until all four arrived (as listed, with the maker's key).
    std::vector<std::wstring> staged;
    bool allArrived = true;
    for (const wchar_t* name : kDatabases) {
        staged.push_back(win::TemporaryNameBeside(folder + name));
        const HRESULT result =
            server.download(server.baseUrl + name, staged.back(), kSmallFileTimeoutMs);
        if (result != S_OK) {
            win::Diag(L"[Pelmora]Model database " + std::wstring(name) + L" failed: " +
                      DownloadFailureText(result, kSmallFileTimeoutMs) + L"\n");
            allArrived = false;
        }
    }
    const auto removeStaged = [&] {
        for (const std::wstring& path : staged) ::DeleteFileW(path.c_str());  // may not exist
        ::DeleteFileW(fetchedStamp.c_str());
        win::ForgetWrittenBytes(fetchedStamp);
    };
    if (!allArrived) {
        removeStaged();
        // Without a key the next start finds no stamp and fetches all four
        // again; with one the old stamp stays true to the old set.
        if (!server.release && !::DeleteFileW(versionFile.c_str()) &&
            ::GetLastError() != ERROR_FILE_NOT_FOUND)
            win::Diag(L"[Pelmora]db_version.txt could not be deleted: " +
                      win::ErrorCodeText(::GetLastError()) + L"\n");
        return;
    }
    std::vector<std::wstring> places;
    for (const wchar_t* name : kDatabases) places.push_back(folder + name);
    if (!ReplaceAsSet(staged, places)) {
        removeStaged();  // the old stamp stays: the next start tries again
        return;
    }
    if (!win::MoveReplacing(fetchedStamp, versionFile)) {
        win::Diag(L"[Pelmora]db_version.txt could not be replaced (" +
                  win::ErrorCodeText(::GetLastError()) + L"); the next start fetches again\n");
        removeStaged();
        ::DeleteFileW(versionFile.c_str());
        return;
    }
    prompt.Show(win::LoadText(IDS_DB_UPDATED), MB_OK);
}

bool ReplaceAsSet(const std::vector<std::wstring>& staged, const std::vector<std::wstring>& places) {
    // Each old file is moved aside first: a file another program holds open
    // cannot be, and then nothing has changed that cannot be put back.
    std::vector<std::wstring> aside(places.size());
    size_t touched = 0;  // places whose old file is aside or whose new one may be in
    size_t failed = places.size();
    DWORD error = ERROR_SUCCESS;
    for (size_t i = 0; i < places.size() && failed == places.size(); ++i) {
        if (win::FileExists(places[i])) {
            aside[i] = win::TemporaryNameBeside(places[i]);
            if (win::RefuseLink(places[i]) ||
                !::MoveFileExW(places[i].c_str(), aside[i].c_str(), MOVEFILE_WRITE_THROUGH)) {
                error = ::GetLastError();
                aside[i].clear();
                failed = i;
                break;
            }
        }
        touched = i + 1;
        if (!win::MoveReplacing(staged[i], places[i])) {
            error = ::GetLastError();
            failed = i;
        }
    }
    if (failed == places.size()) {
        for (const std::wstring& old : aside)
            if (!old.empty()) ::DeleteFileW(old.c_str());
        return true;
    }
    win::Diag(L"[Pelmora]Model databases left as they were: " + places[failed] +
              L" could not be replaced (" + win::ErrorCodeText(error) +
              L"); the next start tries again\n");
    for (size_t i = 0; i < touched; ++i) {
        if (aside[i].empty()) {
            ::DeleteFileW(places[i].c_str());  // there was none before
            continue;
        }
        if (!::MoveFileExW(aside[i].c_str(), places[i].c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            win::Diag(L"[Pelmora]" + places[i] + L" could not be put back (" +
                      win::ErrorCodeText(::GetLastError()) + L"); its old copy is " + aside[i] + L"\n");
    }
    ::SetLastError(error);
    return false;
}

}  // namespace pelmora
