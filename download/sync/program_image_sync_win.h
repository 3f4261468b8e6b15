// The programs' pictures, five languages each, kept in
// Korvath\tools\Pelmora\image\<program>\ and guarded line by line by the
// server's "image_version.txt".
#pragma once
#include "catalogue/model/program_record.h"
#include "catalogue/model/safe_name.h"
#include "download/transfer/server_files_win.h"

#include "win/handles_win.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace pelmora {

// Fetches the five pictures of every catalogue line whose line in the
// server's stamp file changed since the last fetch (at most 20 lines, ending
// at the first empty one; line j belongs to the j-th catalogue line, listed
// here or not), several at a time. Failed pictures are not reported. False
// when a WM_CLOSE queued for the calling thread ended the wait early.
bool SyncProgramImages(const ServerFiles& server, const ProgramTable& table);
// The same, ended early like a WM_CLOSE when `stop` is set; `arrived` is told
// the path of each picture once it is in place (on a transfer thread). With
// the maker's key, the pictures of unchanged lines are checked against the
// release (each one hashed) only once `recheck` is set, or after
// kRecheckWaitMs: the window sets it once its list is on screen, as the
// check wants the processor the list wants.
bool SyncProgramImages(const ServerFiles& server, const ProgramTable& table, HANDLE stop,
                       const std::function<void(const std::wstring& path)>& arrived,
                       HANDLE recheck = nullptr);
constexpr DWORD kRecheckWaitMs = 5000;

// The pictures fetched beside the window: SyncProgramImages on a thread of
// its own, which never waits on the window. Each picture that arrived, and
// the end, are announced by posting `message` to the window, which then
// takes them with Take(); once Stop() is called (the window is going),
// nothing more is posted and no more pictures are written.
class BackgroundPictureSync {
  public:
    BackgroundPictureSync() = default;
    ~BackgroundPictureSync() { Stop(); }
    BackgroundPictureSync(const BackgroundPictureSync&) = delete;
    BackgroundPictureSync& operator=(const BackgroundPictureSync&) = delete;

    // False (logged) when the thread could not start: no pictures this time.
    bool Start(ServerFiles server, const ProgramTable& table, HWND window, UINT message);
    // Window thread: the pictures in place since the last call; `finished`
    // once the sync has ended (true only once).
    std::vector<std::wstring> Take(bool& finished);
    // Window thread: the list is on screen; the kept pictures may be checked.
    void ListShown() noexcept;
    void Stop() noexcept;

    struct State;

  private:
    std::shared_ptr<State> state_;
};

// The folder of one program's pictures.
std::wstring ProgramImageFolder(const std::wstring& localRoot, const std::wstring& programName);
// False (logged: no `what` for it) when the program's name cannot name a
// folder of its own.
bool SafeProgramName(const std::wstring& name, const wchar_t* what,
                     size_t maxLength = kMaxSafeNameLength);

}  // namespace pelmora
