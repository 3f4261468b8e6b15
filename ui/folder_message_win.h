// The message for a folder Pelmora cannot write: a local fault, which no
// retry and no network can mend.
#pragma once
#include "win/prompt_win.h"

#include <windows.h>

#include <string>

namespace pelmora {

// Logs the fault with its error and, unless `quiet`, shows message 2051
// followed by the folder's path.
void ReportFolderNotWritable(Prompt& prompt, const std::wstring& folder, DWORD error, bool quiet);

}  // namespace pelmora
