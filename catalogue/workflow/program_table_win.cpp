#include "catalogue/workflow/program_table_win.h"

#include "win/stdio_file_ex_win.h"
#include "catalogue/model/catalogue_parser.h"
#include "catalogue/model/install_detection.h"
#include "win/local_text_win.h"
#include "catalogue/model/program_table.h"
#include "catalogue/model/safe_name.h"
#include "download/transfer/download_failure_win.h"
#include "string_ids.h"
#include "win/diagnostics_win.h"
#include "win/string_resources_win.h"
#include "win/text_win.h"

namespace pelmora {
namespace {

InstallState DetectState(const ProgramRecord& record, const InstallCheck& installCheck) {
    const std::u16string key = UninstallKeyName(record.id, record.nameEnglish);
    if (key.empty()) return NotLookedUp;
    // The registry would read the key name only up to a NUL: some other key.
    if (key.find(u'\0') != std::u16string::npos) return NotInstalled;
    return installCheck(win::ToWide(key), win::ToWide(record.serverVersion));
}

bool DownloadedCopyMatches(const std::wstring& workFolder, const ProgramRecord& record,
                           size_t nameLengthLimit) {
    if (!IsSafeFileName(record.nameEnglish, nameLengthLimit)) return false;
    return VersionFileMatches(
        DownloadedVersionFilePath(workFolder, win::ToWide(record.nameEnglish)),
        win::ToWide(record.serverVersion));
}

void ReportUnsafeName(const ProgramRecord& record, size_t nameLengthLimit) {
    const std::string_view problem = FileNameProblem(record.nameEnglish, nameLengthLimit);
    if (problem.empty()) return;
    win::Diag(L"[Pelmora]Program \"" + win::ToWide(PrintableName(record.nameEnglish)) +
              L"\" is listed, but its name cannot be a file name (" + win::FromUtf8(problem) +
              L"): nothing is stored or opened for it\n");
}

void Dismiss(const CatalogueStartup& startup) {
    if (startup.dismissSplash) startup.dismissSplash();
}

}  // namespace

std::wstring CatalogueFilePath(const std::wstring& localRoot) {
    return localRoot + kPelmoraFolder + L"program_list.txt";
}

std::wstring DownloadedVersionFilePath(const std::wstring& workFolder, const std::wstring& name) {
    return DownloadFolderIn(workFolder, name) + L"\\version.txt";
}

bool FetchCatalogue(const ServerFiles& server) {
    win::Diag(L"[Pelmora]Pelmora, DownloadToFile, Program_list.txt Start!!\n");
    const HRESULT result =
        server.download(server.baseUrl + L"program_list.txt", CatalogueFilePath(server.localRoot),
                        kSmallFileTimeoutMs);
    if (result != S_OK)
        win::Diag(L"[Pelmora]Catalogue not fetched: " +
                  DownloadFailureText(result, kSmallFileTimeoutMs) + L"\n");
    return result == S_OK;
}

StartupStep BuildProgramTable(const CatalogueStartup& startup, ProgramTable& table) {
    win::Diag(L"[Pelmora]Pelmora, DownloadToFile, Program_list.txt File Open Start!!\n");
    table = ProgramTable{};
    // A name is usable only where its deepest path fits below this machine's root.
    table.nameLengthLimit = NameLengthLimit(startup.server.localRoot.size());
    std::string bytes;
    if (!ReadFileHead(CatalogueFilePath(startup.server.localRoot), kCatalogueMaxBytes, bytes))
        win::Diag(L"[Pelmora]Catalogue file cannot be read: no programs\n");

    int next = 0;
    for (const std::u16string& line : CatalogueProgramLines(bytes)) {
        ProgramRecord& record = table.records[next];
        ParseProgramLine(line, record);
        record.catalogueLine = table.catalogueLineCount++;
        record.state = DetectState(record, startup.installCheck);
        record.setupFile = SetupFileFor(record.state);
        record.downloadMatches =
            DownloadedCopyMatches(startup.workFolder.empty()
                                      ? startup.server.localRoot + kPelmoraFolder
                                      : startup.workFolder,
                                  record, table.nameLengthLimit);
        if (DropsFromList(record)) {
            record.Clear();
            continue;
        }
        ReportUnsafeName(record, table.nameLengthLimit);
        table.programCount = ++next;

        switch (DecideQuietMode(win::ToU16(startup.commandLine), record)) {
        case QuietDecision::Continue: break;
        case QuietDecision::AskUpdate:
            Dismiss(startup);
            if (startup.prompt->Show(win::LoadText(IDS_PROGRAM_UPDATE_AVAILABLE), MB_YESNO) !=
                IDYES) {
                win::Diag(L"[Pelmora]Quiet mode: the update was declined\n");
                return StartupStep::Close;
            }
            break;
        case QuietDecision::Close:
            Dismiss(startup);
            win::Diag(L"[Pelmora]Quiet mode: the program is current or cannot be updated\n");
            return StartupStep::Close;
        }
    }
    return StartupStep::Continue;
}

StartupStep LoadProgramCatalogue(const CatalogueStartup& startup, ProgramTable& table) {
    table = ProgramTable{};
    if (!FetchCatalogue(startup.server)) {
        Dismiss(startup);
        return StartupStep::Close;
    }
    return BuildProgramTable(startup, table);
}

}  // namespace pelmora
