#include "download/sync/model_database_sync_win.h"

#include "catalogue/model/local_text_win.h"
#include "catalogue/model/version_stamps.h"
#include "download/release/release_check_win.h"
#include "download/transfer/download_failure_win.h"
#include "string_ids.h"
#include "win/diagnostics_win.h"
#include "win/files_win.h"
#include "win/string_resources_win.h"
#include "win/text_win.h"

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
    if (!readable || newStamp == oldStamp) {
        if (readable) win::MoveReplacing(fetchedStamp, versionFile);
        ::DeleteFileW(fetchedStamp.c_str());  // gone already when moved
        return;
    }

    // With the maker's key a set the release does not vouch for in whole
    // changes nothing: each database waits beside its place until all four
    // arrived as listed, and the old stamp stays true to the old set.
    const bool wholeSet = MakerKey().has_value();
    const auto landing = [&](const wchar_t* name) {
        return folder + name + (wholeSet ? L".server" : L"");
    };
    bool allArrived = true;
    for (const wchar_t* name : kDatabases) {
        const HRESULT result =
            server.download(server.baseUrl + name, landing(name), kSmallFileTimeoutMs);
        if (result != S_OK) {
            win::Diag(L"[Pelmora]Model database " + std::wstring(name) + L" failed: " +
                      DownloadFailureText(result, kSmallFileTimeoutMs) + L"\n");
            allArrived = false;
        }
    }
    if (wholeSet) {
        if (!allArrived) {
            for (const wchar_t* name : kDatabases) ::DeleteFileW(landing(name).c_str());
            ::DeleteFileW(fetchedStamp.c_str());
            return;
        }
        for (const wchar_t* name : kDatabases)
            allArrived = win::MoveReplacing(landing(name), folder + name) && allArrived;
    }
    if (!allArrived || !win::MoveReplacing(fetchedStamp, versionFile)) {
        ::DeleteFileW(fetchedStamp.c_str());
        if (!::DeleteFileW(versionFile.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND)
            win::Diag(L"[Pelmora]db_version.txt could not be deleted: " +
                      win::ErrorCodeText(::GetLastError()) + L"\n");
        return;
    }
    prompt.Show(win::LoadText(IDS_DB_UPDATED), MB_OK);
}

}  // namespace pelmora
