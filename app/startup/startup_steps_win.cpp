#include "app/startup/startup_steps_win.h"

#include "app/self_update/self_step_aside_win.h"
#include "app/self_update/self_version_check_win.h"
#include "catalogue/model/install_detection_win.h"
#include "download/sync/model_database_sync_win.h"
#include "download/sync/program_image_sync_win.h"
#include "download/sync/stale_files_win.h"
#include "download/worker/private_installer_copy_win.h"
#include "win/diagnostics_win.h"
#include "win/files_win.h"
#include "win/folder_check_win.h"

namespace pelmora {

DWORD StartupSteps::FoldersAndLog(const Session& session) {
    session.MakeOwnFolders();
    // Without its own folder Pelmora can keep nothing: a local fault, said as such.
    const std::wstring ownFolder = session.LocalRoot() + kPelmoraFolder;
    const DWORD error = win::FolderWriteError(ownFolder);
    if (error != ERROR_SUCCESS) {
        win::Diag(L"[Pelmora]Pelmora's folder cannot be written: " + ownFolder + L"\n");
        return error;
    }
    if (session.Elevated()) {
        if (const DWORD refused = session.WorkFolderError(); refused != ERROR_SUCCESS) {
            win::Diag(L"[Pelmora]Pelmora's folder for an elevated run cannot be used: " +
                      session.WorkFolder() + L"\n");
            return refused;
        }
        win::Diag(L"[Pelmora]Elevated: downloads, log and kept serial in " + session.WorkFolder() +
                  L"\n");
    }
    win::KeepLogIn(session.WorkFolder());
    if (session.Release())
        win::Diag(
            L"[Pelmora]Maker's key built in: only files the signed release lists\n");
    return ERROR_SUCCESS;
}

void StartupSteps::SweepEarlierRuns(const Session& session) {
    RemoveStaleDownloads(session.LocalRoot(), session.WorkFolder());
    RemovePrivateInstallerFolders(session.PrivateRoot());
    RecoverSelfStepAside();
}

StartupStep StartupSteps::SelfVersion() {
    const HRESULT fetched = FetchSelfVersionFile(
        session_, [this](const std::wstring& url) { return frontEnd_.AskProxyCredentials(url); });
    if (fetched != S_OK) {
        frontEnd_.SelfVersionNotFetched(fetched);
        return StartupStep::Close;
    }
    const std::optional<std::wstring> offered = OfferedSelfVersion(session_);
    if (!offered || !SelfUpdateAvailable(*offered))
        return frontEnd_.OnSelfVersion(SelfVersionState::Current, offered.value_or(L""));
    if (!session_.Policy().selfUpdate) {
        win::Diag(L"[Pelmora]Pelmora " + *offered +
                  L" is offered; the SelfUpdate policy is 0: it is neither offered nor applied\n");
        return frontEnd_.OnSelfVersion(SelfVersionState::HeldByPolicy, *offered);
    }
    return frontEnd_.OnSelfVersion(SelfVersionState::Offered, *offered);
}

StartupStep StartupSteps::Catalogue(ProgramTable& table, const std::wstring& quietCommandLine) {
    CatalogueStartup startup;
    startup.server = session_.Server();
    startup.installCheck = CheckInstalled;
    startup.prompt = &frontEnd_.Prompts();
    startup.commandLine = quietCommandLine;
    startup.workFolder = session_.WorkFolder();
    startup.dismissSplash = [this] { frontEnd_.DismissSplash(); };
    return LoadProgramCatalogue(startup, table);
}

void StartupSteps::ModelDatabases() {
    SyncModelDatabases(session_.Server(), frontEnd_.Prompts());
}

void StartupSteps::Pictures(const ProgramTable& table) {
    SyncProgramImages(session_.Server(), table);
}

}  // namespace pelmora
