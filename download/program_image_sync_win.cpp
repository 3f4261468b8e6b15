#include "download/program_image_sync_win.h"

#include "catalogue/local_text_win.h"
#include "catalogue/safe_name.h"
#include "catalogue/version_stamps.h"
#include "download/program_image_files.h"
#include "download/url_host.h"
#include "win/diagnostics_win.h"
#include "win/files_win.h"
#include "win/text_win.h"

#include <set>
#include <vector>

namespace pelmora {
namespace {

// One spelling for both the writer and the reader, so a file system that
// tells case apart still finds the pictures.
constexpr wchar_t kImageFolder[] = L"image";

bool ReadStamps(const std::wstring& path, std::vector<std::string>& stamps) {
    std::string bytes;
    if (!ReadFileHead(path, kStampFileMaxBytes, bytes)) return false;
    stamps = ImageStamps(bytes);
    return true;
}

bool SafeProgramName(const std::wstring& name, const wchar_t* what) {
    const std::u16string u16 = win::ToU16(name);
    const std::string_view problem = FileNameProblem(u16);
    if (problem.empty()) return true;
    win::Diag(std::wstring(L"[Pelmora]No ") + what + L" for \"" + win::ToWide(PrintableName(u16)) +
              L"\": " + win::FromUtf8(problem) + L"\n");
    return false;
}

// Fetches the five pictures of a row; true when all arrived or the row has
// nothing that could. Pictures from a host that has already timed out are
// left for the next start: one dead host would otherwise cost a time-out per
// picture.
bool FetchPictures(const ServerFiles& server, const ProgramTable& table, size_t row,
                   std::set<std::u16string>& deadHosts) {
    if (row >= static_cast<size_t>(table.programCount)) {
        win::Diag(L"[Pelmora]Image line " + std::to_wstring(row) + L" has no program\n");
        return true;
    }
    const ProgramRecord& record = table.records[row];
    const std::wstring name = win::ToWide(record.nameEnglish);
    if (!SafeProgramName(name, L"pictures are fetched")) return true;
    const std::u16string host = UrlHost(record.imageLocation);
    if (deadHosts.count(host)) {
        win::Diag(L"[Pelmora]Pictures of " + name + L" left for the next start: " +
                  win::ToWide(host) + L" timed out\n");
        return false;
    }
    const std::wstring folder = ProgramImageFolder(server.localRoot, name);
    win::EnsureFolder(folder);
    const std::wstring location = win::ToWide(record.imageLocation);
    bool allArrived = true;
    for (std::u16string_view file : kProgramImageFiles) {
        const std::wstring fileName = win::ToWide(file);
        const HRESULT result = server.download(location + L"/" + fileName,
                                               folder + L"\\" + fileName, kSmallFileTimeoutMs);
        if (result == S_OK) continue;
        win::Diag(L"[Pelmora]Picture " + fileName + L" of " + name + L" failed: " +
                  std::to_wstring(static_cast<long>(result)) + L"\n");
        allArrived = false;
        if (result == kFetchTimedOut) {
            deadHosts.insert(host);
            break;
        }
    }
    return allArrived;
}

}  // namespace

std::wstring ProgramImageFolder(const std::wstring& localRoot, const std::wstring& programName) {
    return localRoot + kPelmoraFolder + kImageFolder + L"\\" + programName;
}

void SyncProgramImages(const ServerFiles& server, const ProgramTable& table) {
    win::EnsureFolder(server.localRoot + kPelmoraFolder + kImageFolder);
    const std::wstring versionFile = server.localRoot + kPelmoraFolder + L"image_version.txt";
    // The server's lines wait here; each is kept only once its pictures arrived.
    const std::wstring fetchedStamps = versionFile + L".server";

    std::vector<std::string> oldStamps;
    ReadStamps(versionFile, oldStamps);  // none yet: all empty
    if (server.download(server.baseUrl + L"image_version.txt", fetchedStamps,
                        kSmallFileTimeoutMs) != S_OK)
        return;
    std::vector<std::string> newStamps;
    const bool readable = ReadStamps(fetchedStamps, newStamps);
    ::DeleteFileW(fetchedStamps.c_str());
    if (!readable) return;

    std::set<std::u16string> deadHosts;
    std::vector<bool> complete(newStamps.size(), true);
    for (size_t row = 0; row < newStamps.size(); ++row)
        if (newStamps[row] != StampAt(oldStamps, row))
            complete[row] = FetchPictures(server, table, row, deadHosts);
    if (!win::ReplaceFileWith(versionFile, ImageStampsToKeep(oldStamps, newStamps, complete)))
        win::Diag(L"[Pelmora]image_version.txt could not be written: error " +
                  std::to_wstring(::GetLastError()) + L"\n");
}

void ShowProgramImage(const std::wstring& localRoot, const std::wstring& programName, HWND picture,
                      int language) {
    if (!SafeProgramName(programName, L"picture is shown")) return;
    const std::wstring path = ProgramImageFolder(localRoot, programName) + L"\\" +
                              win::ToWide(ImageFileForLanguage(language));
    // A device-dependent bitmap: the control keeps this very handle rather
    // than a copy (it copies only 32-bit DIB sections with alpha).
    const auto bitmap = static_cast<HBITMAP>(
        ::LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    if (!bitmap) return;
    const auto previous = reinterpret_cast<HGDIOBJ>(
        ::SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
    if (previous && previous != bitmap) ::DeleteObject(previous);
    if (reinterpret_cast<HBITMAP>(::SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0)) != bitmap)
        ::DeleteObject(bitmap);  // not kept (no such control, or a copy was made)
}

void ClearProgramImage(HWND picture) {
    const auto previous =
        reinterpret_cast<HGDIOBJ>(::SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, 0));
    if (previous) ::DeleteObject(previous);
}

}  // namespace pelmora
