#include "ui/folder_message_win.h"

#include "string_ids.h"
#include "win/diagnostics_win.h"
#include "win/folder_check_win.h"
#include "win/string_resources_win.h"
#include "win/text_win.h"

namespace pelmora {

void ReportFolderNotWritable(Prompt& prompt, const std::wstring& folder, DWORD error, bool quiet) {
    const std::wstring path = win::WithoutTrailingSlash(folder);
    win::Diag(L"[Pelmora]Folder cannot be written: " + path + L" (" +
              win::ErrorCodeText(error) + L")\n");
    if (!quiet)
        prompt.Show(win::LoadText(IDS_FOLDER_NOT_WRITABLE) + L"\n" + path, MB_OK | MB_ICONSTOP);
}

}  // namespace pelmora
