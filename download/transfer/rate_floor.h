// The least average rate a transfer must keep, as curl's --speed-limit with
// --speed-time: a server that trickles bytes keeps the inactivity time-out
// from ever running out, so it needs a bound of its own.
#pragma once
#include <cstdint>

namespace pelmora {

struct RateFloor {
    uint32_t minBytesPerSecond = 0;  // 0: no floor
    uint32_t graceMs = 0;            // no verdict before this much time
    // However fast it goes, the whole transfer ends this long after its
    // start (kDownloadPastDeadline): a floor alone lets a large body at the
    // floor's rate run for days. 0: none.
    uint64_t deadlineMs = 0;
};

// Milliseconds after the transfer's start from which `received` bytes are
// too few: the later of the grace and the time those bytes would take at the
// floor's rate. A transfer whose clock reaches it is too slow. Without a
// floor, UINT64_MAX. With a size cap C the whole transfer is so bounded by
// max(grace, C / rate).
uint64_t TooSlowFromMs(const RateFloor& floor, uint64_t received);

}  // namespace pelmora
