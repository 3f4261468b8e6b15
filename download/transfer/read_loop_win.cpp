#include "download/transfer/read_loop_win.h"

#include "download/transfer/background_writer_win.h"
#include "download/transfer/download_result_win.h"
#include "download/transfer/read_pacing.h"
#include "win/diagnostics_win.h"

#include <algorithm>
#include <string>

namespace pelmora {
namespace {

// The largest read: under Wine each read has a high fixed cost.
constexpr DWORD kReadBufferBytes = 2 * 1024 * 1024;
// One buffer being read into while the others are written.
constexpr size_t kWriteBuffers = 3;

uint64_t Microseconds() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<uint64_t>(now.QuadPart / frequency * 1000000 +
                                 now.QuadPart % frequency * 1000000 / frequency);
}

}  // namespace

HRESULT ReadBody(DownloadJob& job, TransferProgress& progress, const BodyFile& body,
                 Sha256Stream* hash, HINTERNET request, std::optional<uint64_t> length,
                 uint64_t& received) {
    LARGE_INTEGER end{};
    if (!::SetFilePointerEx(body.file.get(), end, nullptr, FILE_END)) return LastErrorResult();
    const std::optional<uint64_t> announced =
        length && *length >= body.have ? std::optional(*length - body.have) : std::nullopt;
    BackgroundWriter writer(body.file.get(), kReadBufferBytes, kWriteBuffers, hash, announced);
    received = body.have;
    uint64_t reads = 0;
    DWORD largestRead = 0;
    DWORD lastAsked = 0;
    uint64_t lastMicroseconds = 0;
    for (;;) {
        // Waits for the next data. What has arrived is read at once; beyond
        // that a read waits until it is full, so reads grow only while they
        // come back quickly: progress keeps coming on a slow link, and a fast
        // one is read in large pieces.
        const uint64_t started = Microseconds();
        DWORD available = 0;
        if (!::InternetQueryDataAvailable(request, &available, 0, 0)) return LastErrorResult();
        if (available == 0) break;
        const DWORD ask =
            NextReadSize(available, lastAsked, lastMicroseconds, job.timeoutMs,
                         static_cast<DWORD>(writer.BufferBytes()));
        char* const buffer = writer.Acquire();
        if (!buffer) break;  // the write failed: Finish below says why
        DWORD got = 0;
        if (!::InternetReadFile(request, buffer, ask, &got)) return LastErrorResult();
        if (got == 0) break;
        lastAsked = ask;
        lastMicroseconds = Microseconds() - started;
        if (job.maxBytes && received + got > job.maxBytes) return kDownloadTooLarge;
        writer.Submit(buffer, got);
        received += got;
        job.received.store(received - body.have);
        ++reads;
        largestRead = std::max(largestRead, got);
        if (Notify(job, progress, received, length) != S_OK) return E_ABORT;
    }
    if (const DWORD error = writer.Finish(); error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
    // Read sizes decide a large body's speed under Wine: say what they were.
    // Not for a small one (a picture), whose line would cost more than it tells.
    if (received - body.have > BackgroundWriter::kWriteAlongBytes)
        win::Diag(L"[Pelmora]Body " + std::to_wstring(received - body.have) + L" bytes in " +
                  std::to_wstring(reads) + L" reads, largest " + std::to_wstring(largestRead) +
                  L"\n");
    return S_OK;
}

}  // namespace pelmora
