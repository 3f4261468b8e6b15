// The run of a switch line: no window, splash or message box in any path;
// the log, the result file when asked and the console when started from
// one say what happened, and the exit code sums it up.
#pragma once
#include "app/session/session_win.h"

#include <string>

namespace pelmora {

// `arguments`: the command line after the program path (a switch line).
// Returns the process's exit code.
int RunSwitchLine(Session& session, const std::wstring& arguments);

}  // namespace pelmora
