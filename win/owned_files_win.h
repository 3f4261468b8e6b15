// Files and folders checked by the handle that was opened, not by a path a
// neighbour may change between a check and its use: an elevated run's own
// folder (administrators' only), writes below the shared folder, and the
// deletion of what this program left behind.
#pragma once
#include "win/handles_win.h"

#include <windows.h>

#include <string>

namespace win {

// The process token is elevated (an administrator's elevated run, SYSTEM).
bool RunsElevated();

// Owners whose folders an elevated run or a clean-up may trust: the
// Administrators group, SYSTEM, and the account this process runs as.
// Anyone else could have planted the folder.
bool TrustedOwner(PSID owner, PSID self);

// Makes `path` (no trailing backslash) a folder only SYSTEM and the
// Administrators may open, owned by the Administrators; an existing one is
// kept only when it is no link and its owner is trusted, and its access is
// then set to the same. ERROR_SUCCESS or why not (logged).
DWORD MakeAdministratorsFolder(const std::wstring& path);

// `file` is the object at `path`: not a link itself, and its final path
// (every link on the way resolved) is `path` with `anchor`, a prefix of it,
// resolved. `anchor` is trusted: the common documents or temporary folder.
bool OpenedWhereExpected(HANDLE file, const std::wstring& path, const std::wstring& anchor);

// Opens an existing `path` for deletion without following a link at its end,
// and only when OpenedWhereExpected holds; empty otherwise.
File OpenForDeletion(const std::wstring& path, const std::wstring& anchor);
// Marks the opened object to go when its last handle closes.
bool DeleteByHandle(HANDLE file);

// Deletes the folder `path` below `anchor` and what it holds, each entry
// opened by handle and checked before it is deleted; a link is removed
// itself, never followed. With a `marker`, only a folder (not a link) of a
// trusted owner that holds that file is taken for this program's and
// deleted; anything else is left as it was. False when anything was left.
bool RemoveTreeByHandle(const std::wstring& path, const std::wstring& anchor,
                        const std::wstring& marker = {});

}  // namespace win
