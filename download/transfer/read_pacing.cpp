#include "download/transfer/read_pacing.h"

#include <algorithm>

namespace pelmora {
namespace {

// A quick read takes at most this long, and at most this share of the
// time-out. Sizes only double after a quick read, so a read outlasts the
// time-out only when the link slows down many times over within it.
constexpr uint64_t kQuickReadMicroseconds = 50000;
constexpr uint64_t kTimeoutShare = 20;

}  // namespace

uint32_t NextReadSize(uint32_t available, uint32_t lastAsked, uint64_t lastMicroseconds,
                      uint32_t timeoutMs, uint32_t bufferBytes) {
    const uint32_t floor = std::min(available, bufferBytes);
    if (lastAsked == 0) return floor;
    const uint64_t quick =
        std::min(kQuickReadMicroseconds, uint64_t{timeoutMs} * 1000 / kTimeoutShare);
    const uint64_t next = lastMicroseconds <= quick ? uint64_t{lastAsked} * 2 : lastAsked / 2;
    return static_cast<uint32_t>(std::clamp<uint64_t>(next, floor, bufferBytes));
}

}  // namespace pelmora
