// What a progress report shows: the percent that a list row shows for its
// counts.
#pragma once
#include <cstdint>

namespace pelmora {

// progress / total * 100 in double precision, truncated toward zero; 0 when
// the total is unknown (0). Progress beyond the total is not clamped; only a
// result too large for an int saturates, where a plain cast is undefined.
int ProgressPercent(uint32_t progress, uint32_t total);

struct ProgressCounts {
    uint32_t progress;
    uint32_t total;
};

// The percent takes 32-bit counts: a transfer beyond 4 GiB is scaled down
// by the same power of two on both sides so the percent stays right.
ProgressCounts ScaleProgress(uint64_t progress, uint64_t total);

}  // namespace pelmora
