// The body read from the answer into the body file, its writes and its
// digest behind the reads.
#pragma once
#include "download/transfer/download_job_win.h"
#include "download/transfer/resumable_body_win.h"
#include "download/transfer/transfer_progress_win.h"
#include "trust/sha256_win.h"

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <optional>

namespace pelmora {

// Reads the body to its end through the background writer; `received`
// counts the kept part too.
HRESULT ReadBody(DownloadJob& job, TransferProgress& progress, const BodyFile& body,
                 Sha256Stream* hash, HINTERNET request, std::optional<uint64_t> length,
                 uint64_t& received);

}  // namespace pelmora
