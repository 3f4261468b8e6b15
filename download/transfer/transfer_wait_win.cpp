#include "download/transfer/transfer_wait_win.h"

#include "download/transfer/download_result_win.h"
#include "download/transfer/painting_wait_win.h"
#include "win/diagnostics_win.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace pelmora {
namespace {

// How a wait for the transfer ended, when the caller gives it up.
enum class GiveUp { Cancelled, TimedOut, TooSlow, PastDeadline, WaitFailed };

HRESULT GiveUpResult(GiveUp why) {
    switch (why) {
    case GiveUp::Cancelled: return E_ABORT;
    case GiveUp::TimedOut: return kDownloadTimedOut;
    case GiveUp::TooSlow: return kDownloadTooSlow;
    case GiveUp::PastDeadline: return kDownloadPastDeadline;
    default: return LastErrorResult();
    }
}

// Gives the transfer up, unless it has just finished: from then on it can
// reach nothing of ours. The failure, or nullopt when it finished after all.
std::optional<HRESULT> Abandon(DownloadJob& job, GiveUp why, uint64_t elapsedMs) {
    const HRESULT failure = GiveUpResult(why);
    const JobLock guard(job);
    if (job.finished) return std::nullopt;  // it ended just as the time ran out
    // Not killed: a thread killed inside the network library can leave its
    // locks held. Left alone, it can no longer reach anything of ours.
    job.abandoned = true;
    switch (why) {
    case GiveUp::Cancelled: win::Diag(L"[Pelmora]Download cancelled; transfer abandoned\n"); break;
    case GiveUp::TimedOut: win::Diag(L"Timeout-- kill a thread..!!\n"); break;
    case GiveUp::TooSlow:
        win::Diag(L"[Pelmora]Download too slow: " + std::to_wstring(job.received.load()) +
                  L" bytes in " + std::to_wstring(elapsedMs) + L" ms; transfer abandoned\n");
        break;
    case GiveUp::PastDeadline:
        win::Diag(L"[Pelmora]Download not complete by its deadline: " +
                  std::to_wstring(job.received.load()) + L" bytes in " +
                  std::to_wstring(elapsedMs) + L" ms; transfer abandoned\n");
        break;
    default: win::Diag(L"[Pelmora]Download wait failed; transfer abandoned\n"); break;
    }
    return failure;
}

}  // namespace

std::optional<HRESULT> WaitForTransfer(DownloadJob& job, HANDLE cancel, DWORD timeoutMs,
                                       const RateFloor& floor) {
    const HANDLE events[] = {job.progressEvent.get(), job.doneEvent.get(), cancel};
    const DWORD eventCount = cancel ? 3 : 2;
    const ULONGLONG started = ::GetTickCount64();
    ULONGLONG lastProgress = started;
    for (;;) {
        const ULONGLONG now = ::GetTickCount64();
        const uint64_t deadline = floor.deadlineMs ? floor.deadlineMs : UINT64_MAX;
        const uint64_t slowAt = std::min(TooSlowFromMs(floor, job.received.load()), deadline);
        if (now - started >= slowAt) {
            const GiveUp why = now - started >= deadline ? GiveUp::PastDeadline : GiveUp::TooSlow;
            if (const auto failure = Abandon(job, why, now - started)) return failure;
            return std::nullopt;
        }
        const uint64_t idleLeft = now - lastProgress >= timeoutMs ? 0 : timeoutMs - (now - lastProgress);
        const DWORD waitMs = static_cast<DWORD>(std::min<uint64_t>(idleLeft, slowAt - (now - started)));
        const DWORD wait = WaitKeepingWindowsPainted(eventCount, events, waitMs);
        // The lowest signalled event wins, so steady progress must not hide a cancel.
        const bool cancelled =
            cancel && (wait == WAIT_OBJECT_0 + 2 ||
                       (wait == WAIT_OBJECT_0 && ::WaitForSingleObject(cancel, 0) == WAIT_OBJECT_0));
        if (wait == WAIT_OBJECT_0 + 1) return std::nullopt;
        if (wait == WAIT_OBJECT_0 && !cancelled) {
            lastProgress = ::GetTickCount64();  // progress: the time-out starts again
            continue;
        }
        GiveUp why = cancelled ? GiveUp::Cancelled : GiveUp::WaitFailed;
        if (wait == WAIT_TIMEOUT) {
            if (::GetTickCount64() - lastProgress < timeoutMs) continue;  // the floor's turn: above
            why = GiveUp::TimedOut;
        } else if (!cancelled && wait != WAIT_FAILED) {
            continue;
        }
        if (const auto failure = Abandon(job, why, ::GetTickCount64() - started)) return failure;
        return std::nullopt;
    }
}

}  // namespace pelmora
