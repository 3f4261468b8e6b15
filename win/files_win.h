// The local root (the common documents folder) and small file-system helpers.
// Below "Korvath\tools" every local user may write, so what Pelmora writes
// there goes through these helpers: new files under names nobody can guess,
// never through a link, flushed before they replace a kept file.
#pragma once
#include "win/handles_win.h"

#include <windows.h>

#include <string>

namespace win {

// The common documents folder followed by one backslash; every local path of
// Pelmora is relative to it.
std::wstring LocalRoot();

bool FileExists(const std::wstring& path);
// Creates the folder when its attributes cannot be read; true when it exists afterwards.
bool EnsureFolder(const std::wstring& path);
// Writes `bytes` beside `path` and then moves them over it, so the file is
// either the old one or the new one whole, also after a crash. False when it
// could not be done (a link on the way included).
bool ReplaceFileWith(const std::wstring& path, const std::string& bytes);
// Moves `from`, written and flushed, over `to`, the rename written through
// before it returns; false (with `from` left in place) when it cannot, or
// when `to` lies behind a link (ERROR_CANT_ACCESS_FILE). What this run kept
// of `from` (KeepWrittenBytes) now belongs to `to`.
bool MoveReplacing(const std::wstring& from, const std::wstring& to);

// "<path>.part-<pid>-<random>": a name nobody can plant a file at beforehand,
// which the start-up's sweep of stale files recognises as this process's.
std::wstring TemporaryNameBeside(const std::wstring& path);
// Creates a new file at a temporary name beside `path` (never opening an
// existing one: on a collision another name is taken), read and write, not
// shared; `temporary` names it. Empty when it cannot (GetLastError says why).
File CreateTemporaryBeside(const std::wstring& path, std::wstring& temporary,
                           DWORD flags = FILE_ATTRIBUTE_NORMAL);

// Refused: a path through a link below the shared folder.
constexpr DWORD kLinkRefusedError = ERROR_CANT_ACCESS_FILE;
// Below a "Korvath\tools" folder (or an elevated run's "Korvath\Pelmora"
// below ProgramData): the first folder from "Korvath" on the way
// to `path` that is a junction or a symbolic link, or `path` itself when it is
// one or an existing file with more than one name (a hard link). Empty when
// there is none, or `path` is not below such a folder.
std::wstring LinkOnPath(const std::wstring& path);
// LinkOnPath, logged with `path` and leaving kLinkRefusedError as the last
// error when a link is found: true means "do not touch".
bool RefuseLink(const std::wstring& path);
// The same for a file already open, by its handle: below the shared folder,
// its final path must be `path` (no link on the way, whenever it was
// planted), and it must have one name. Every file Pelmora writes there is
// checked so before a byte goes in (CreateTemporaryBeside, continued bodies).
bool RefuseLinkedFile(HANDLE file, const std::wstring& path);
// RefuseLinkedFile's test without its log line (for the log file itself):
// true when `file` was opened through a link.
bool OpenedThroughLink(HANDLE file, const std::wstring& path);

// What this run wrote to a file, kept in memory: a file below the shared
// folder is read as it was fetched, whatever a neighbour does to it after.
// The bytes follow the file when it is moved (MoveReplacing).
void KeepWrittenBytes(const std::wstring& path, std::string bytes);
// True with the bytes this run wrote to `path`.
bool WrittenBytes(const std::wstring& path, std::string& bytes);
void ForgetWrittenBytes(const std::wstring& path);

}  // namespace win
