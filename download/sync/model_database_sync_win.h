// Keeps the four model-information databases in Korvath\tools\ current,
// guarded by the first line of the server's "db_version.txt".
#pragma once
#include "download/transfer/server_files_win.h"
#include "win/prompt_win.h"

namespace pelmora {

// Fetches all four databases when the server's stamp differs from the one
// fetched last time; tells the user (message 2031) only when all four
// arrived, and forgets the stamp when any did not, so the next start tries
// again. Nothing is reported when the stamp cannot be fetched.
void SyncModelDatabases(const ServerFiles& server, Prompt& prompt);

}  // namespace pelmora
