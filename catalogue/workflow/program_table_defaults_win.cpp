#include "catalogue/workflow/program_table_defaults_win.h"

#include "catalogue/model/install_detection_win.h"
#include "download/sync/sync_defaults_win.h"

namespace pelmora {

StartupStep LoadProgramCatalogue(HWND owner, const std::wstring& commandLine,
                                 std::function<void()> dismissSplash, ProgramTable& table) {
    MessageBoxPrompt prompt(owner);
    CatalogueStartup startup;
    startup.server = DefaultServerFiles();
    startup.installCheck = CheckInstalled;
    startup.prompt = &prompt;
    startup.commandLine = commandLine;
    startup.dismissSplash = std::move(dismissSplash);
    return LoadProgramCatalogue(startup, table);
}

}  // namespace pelmora
