#include "download/transfer/rate_floor.h"

#include <algorithm>
#include <limits>

namespace pelmora {

uint64_t TooSlowFromMs(const RateFloor& floor, uint64_t received) {
    if (floor.minBytesPerSecond == 0) return std::numeric_limits<uint64_t>::max();
    // received * 1000 cannot overflow for any body a disk holds (< 2^54 bytes).
    const uint64_t earned = std::min<uint64_t>(received, uint64_t{1} << 53) * 1000 /
                            floor.minBytesPerSecond;
    return std::max<uint64_t>(floor.graceMs, earned);
}

}  // namespace pelmora
