// The catalogue steps of start-up bound to the real transfer, registry and
// message boxes.
#pragma once
#include "catalogue/workflow/program_table_win.h"

#include <windows.h>

#include <functional>
#include <string>

namespace pelmora {

// Messages 2029 and 2031 go to message boxes owned by `owner`.
StartupStep LoadProgramCatalogue(HWND owner, const std::wstring& commandLine,
                                 std::function<void()> dismissSplash, ProgramTable& table);

}  // namespace pelmora
