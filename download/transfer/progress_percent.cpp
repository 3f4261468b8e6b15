#include "download/transfer/progress_percent.h"

#include <climits>

namespace pelmora {

int ProgressPercent(uint32_t progress, uint32_t total) {
    if (total == 0) return 0;
    const double percent = static_cast<double>(progress) / static_cast<double>(total) * 100.0;
    if (percent >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(percent);
}

ProgressCounts ScaleProgress(uint64_t progress, uint64_t total) {
    while (progress > UINT32_MAX || total > UINT32_MAX) {
        progress >>= 1;
        total >>= 1;
    }
    return {static_cast<uint32_t>(progress), static_cast<uint32_t>(total)};
}

}  // namespace pelmora
