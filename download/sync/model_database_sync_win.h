// Keeps the four model-information databases in Korvath\tools\ current,
// guarded by the first line of the server's "db_version.txt".
#pragma once
#include "download/transfer/server_files_win.h"
#include "win/prompt_win.h"

#include <string>
#include <vector>

namespace pelmora {

// Fetches all four databases when the server's stamp differs from the one
// fetched last time (with the maker's key also when a local database is not
// as the release lists it); they replace the old ones as a set, and the user
// is told (message 2031) only then. When any did not arrive, or one could not
// be replaced, the old set stays and the stamp does not claim the new one, so
// the next start tries again. Nothing is reported when the stamp cannot be
// fetched.
void SyncModelDatabases(const ServerFiles& server, Prompt& prompt);

// Moves each staged file over its place, all or none: when one cannot be
// replaced (another program holds it open, a link stands there), those
// already moved are put back as they were, and the failure is logged. The
// staged files that were not moved stay for the caller to remove.
bool ReplaceAsSet(const std::vector<std::wstring>& staged, const std::vector<std::wstring>& places);

}  // namespace pelmora
