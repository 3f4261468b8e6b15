#include "download/transfer/progress_percent.h"

#include <gtest/gtest.h>

#include <climits>

namespace pelmora {
namespace {

TEST(ProgressPercent, TruncatesTowardZero) {
    EXPECT_EQ(ProgressPercent(1, 3), 33);
    EXPECT_EQ(ProgressPercent(2, 3), 66);
    EXPECT_EQ(ProgressPercent(999, 1000), 99);
    EXPECT_EQ(ProgressPercent(0, 1000), 0);
    EXPECT_EQ(ProgressPercent(UINT32_MAX, UINT32_MAX), 100);
    EXPECT_EQ(ProgressPercent(UINT32_MAX - 1, UINT32_MAX), 99);
}

TEST(ProgressPercent, UnknownTotalShowsZero) {
    EXPECT_EQ(ProgressPercent(0, 0), 0);
    EXPECT_EQ(ProgressPercent(123456, 0), 0);
}

TEST(ProgressPercent, ProgressBeyondTheTotalIsNotClamped) {
    EXPECT_EQ(ProgressPercent(3, 2), 150);
    EXPECT_EQ(ProgressPercent(UINT32_MAX, 1), INT_MAX);  // no undefined cast
}

TEST(ScaleProgress, KeepsSmallCountsAndThePercentOfLargeOnes) {
    const ProgressCounts small = ScaleProgress(1234, 5678);
    EXPECT_EQ(small.progress, 1234u);
    EXPECT_EQ(small.total, 5678u);

    const uint64_t gib = 1ull << 30;
    const ProgressCounts large = ScaleProgress(5 * gib, 10 * gib);
    EXPECT_EQ(ProgressPercent(large.progress, large.total), 50);
    const ProgressCounts nearlyDone = ScaleProgress(6 * gib - 1, 6 * gib);
    EXPECT_EQ(ProgressPercent(nearlyDone.progress, nearlyDone.total), 99);
    EXPECT_EQ(ScaleProgress(6 * gib, 0).total, 0u);
}

}  // namespace
}  // namespace pelmora
