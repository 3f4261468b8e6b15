#include "download/model_database_sync_win.h"

#include "catalogue/local_text_win.h"
#include "catalogue/version_stamps.h"
#include "string_ids.h"
#include "win/diagnostics_win.h"
#include "win/files_win.h"
#include "win/string_resources_win.h"

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

    bool allArrived = true;
    for (const wchar_t* name : kDatabases) {
        const HRESULT result =
            server.download(server.baseUrl + name, folder + name, kSmallFileTimeoutMs);
        if (result != S_OK) {
            win::Diag(L"[Pelmora]Model database " + std::wstring(name) + L" failed: " +
                      std::to_wstring(static_cast<long>(result)) + L"\n");
            allArrived = false;
        }
    }
    if (!allArrived || !win::MoveReplacing(fetchedStamp, versionFile)) {
        ::DeleteFileW(fetchedStamp.c_str());
        if (!::DeleteFileW(versionFile.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND)
            win::Diag(L"[Pelmora]db_version.txt could not be deleted: error " +
                      std::to_wstring(::GetLastError()) + L"\n");
        return;
    }
    prompt.Show(win::LoadText(IDS_DB_UPDATED), MB_OK);
}

}  // namespace pelmora
