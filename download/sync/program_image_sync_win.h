// The programs' pictures, five languages each, kept in
// Korvath\tools\Pelmora\image\<program>\ and guarded line by line by the
// server's "image_version.txt".
#pragma once
#include "catalogue/model/program_record.h"
#include "download/transfer/server_files_win.h"

#include <windows.h>

#include <string>

namespace pelmora {

// Fetches the five pictures of every catalogue line whose line in the
// server's stamp file changed since the last fetch (at most 20 lines, ending
// at the first empty one; line j belongs to the j-th catalogue line, listed
// here or not), several at a time. Failed pictures are not reported. False
// when a WM_CLOSE queued for the calling thread ended the wait early.
bool SyncProgramImages(const ServerFiles& server, const ProgramTable& table);

// Shows the program's picture in the interface language in a static
// control (SS_BITMAP). A missing file leaves the control's picture as it was.
void ShowProgramImage(const std::wstring& localRoot, const std::wstring& programName, HWND picture,
                      int language);

// Takes the picture out of the control and deletes it: the control never
// deletes its bitmap itself, so its owner calls this before destroying it.
void ClearProgramImage(HWND picture);

// The folder of one program's pictures.
std::wstring ProgramImageFolder(const std::wstring& localRoot, const std::wstring& programName);

}  // namespace pelmora
