// Opening a downloaded installer so that the main window learns when it has
// finished: a small thread waits for the installer's process and posts
// WM_PROGRAM_STATUS_REFRESH with the program's catalogue id. Nothing waits
// on that thread, and it knows only a window handle and a number.
#pragma once
#include "win/handles_win.h"

#include <windows.h>

#include <string>

namespace pelmora {

// Opens `path` ("open", shown normally, `folder`'s working folder is the
// installer's own). When the system hands back the process, its end is
// posted to `window` as WM_PROGRAM_STATUS_REFRESH(id); `process`, when
// given, receives a handle of its own to that process. False when nothing
// was opened.
bool OpenInstallerAndWatch(const std::wstring& path, HWND window, int id,
                           win::Handle* process = nullptr);

}  // namespace pelmora
