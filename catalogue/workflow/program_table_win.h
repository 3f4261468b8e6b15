// The catalogue step of start-up: fetch "program_list.txt", read it into
// the table of 20 records with each program's installed state, apply the
// drop rule and the quiet-mode decision.
#pragma once
#include "catalogue/model/program_record.h"
#include "download/transfer/server_files_win.h"
#include "win/prompt_win.h"

#include <functional>
#include <string>

namespace pelmora {

// The installed state under an uninstall key for a server version.
using InstallCheck =
    std::function<InstallState(const std::wstring& keyName, const std::wstring& serverVersion)>;

// What start-up does next.
enum class StartupStep { Continue, Close };

struct CatalogueStartup {
    ServerFiles server;
    InstallCheck installCheck;
    Prompt* prompt = nullptr;  // borrowed; asks message 2029, shows 2031
    std::wstring commandLine;  // whole; empty outside quiet mode
    std::wstring workFolder;   // the run's (downloads); empty: Pelmora's below server.localRoot
    std::function<void()>
        dismissSplash;  // before a closing path or a quiet-mode match; may be empty
};

// Clears the table, fetches and reads the catalogue and stores the program
// count. Close: the catalogue could not be fetched, or quiet mode decided to
// close.
StartupStep LoadProgramCatalogue(const CatalogueStartup& startup, ProgramTable& table);

// The catalogue fetched to its local file; false when it did not arrive.
bool FetchCatalogue(const ServerFiles& server);

// Reads the local catalogue into `table` (cleared first) and sets
// programCount. A file that cannot be read gives an empty table.
StartupStep BuildProgramTable(const CatalogueStartup& startup, ProgramTable& table);

std::wstring CatalogueFilePath(const std::wstring& localRoot);
// The version.txt written beside a program's downloaded installer.
std::wstring DownloadedVersionFilePath(const std::wstring& workFolder, const std::wstring& name);

}  // namespace pelmora
