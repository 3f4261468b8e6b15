// The start-up's steps, the same for the window and a script's run, in this
// order: Pelmora's folders and its log, the sweep of earlier runs' leftovers,
// the self-version check (with the SelfUpdate policy), the catalogue and the
// program table, the model databases, the pictures. What a front-end shows
// or asks on the way (message boxes and the splash; log and result lines) is
// its own, behind StartupFrontEnd.
#pragma once
#include "app/session/session_win.h"
#include "catalogue/model/program_record.h"
#include "catalogue/workflow/program_table_win.h"
#include "win/prompt_win.h"

#include <windows.h>

#include <string>

namespace pelmora {

// Where Pelmora's own version stands once the self-version file arrived.
enum class SelfVersionState {
    Current,       // installed at the offered version, or none offered
    HeldByPolicy,  // another is offered, and the SelfUpdate policy is 0
    Offered,       // another is offered, and may be installed
};

class StartupFrontEnd {
  public:
    virtual ~StartupFrontEnd() = default;
    // Messages 2029 and 2031 of the catalogue steps.
    virtual Prompt& Prompts() = 0;
    // Before a message of the catalogue steps, or their end.
    virtual void DismissSplash() {}
    // A proxy asks the first fetch for credentials: true when they were given.
    virtual bool AskProxyCredentials(const std::wstring& url) = 0;
    // The self-version file did not arrive (`fetched`): the start-up ends.
    virtual void SelfVersionNotFetched(HRESULT fetched) = 0;
    // Pelmora's own version; `offered` empty when the server names none.
    // Close ends the start-up (Pelmora's installer took over, say).
    virtual StartupStep OnSelfVersion(SelfVersionState state, const std::wstring& offered) = 0;
};

class StartupSteps {
  public:
    StartupSteps(Session& session, StartupFrontEnd& frontEnd) noexcept
        : session_(session), frontEnd_(frontEnd) {}

    // Pelmora's folders and its log there; ERROR_SUCCESS, or why Pelmora's
    // own folder cannot be written (the start-up cannot go on; the front-end
    // says so in its own way). Before anything else, so that every way a run
    // ends is logged.
    static DWORD FoldersAndLog(const Session& session);
    // What earlier runs left: interrupted downloads, private installer copies,
    // the installed Pelmora.exe stepped aside by a run that was killed.
    static void SweepEarlierRuns(const Session& session);
    StartupStep SelfVersion();
    // The catalogue fetched and read into `table`, with quiet mode's
    // decisions for `quietCommandLine` (empty outside quiet mode). Close
    // when it did not arrive, or quiet mode ends here.
    StartupStep Catalogue(ProgramTable& table, const std::wstring& quietCommandLine);
    void ModelDatabases();
    // All pictures at once; the window fetches them beside its list instead.
    void Pictures(const ProgramTable& table);

  private:
    Session& session_;
    StartupFrontEnd& frontEnd_;
};

}  // namespace pelmora
