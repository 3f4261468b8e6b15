#include "download/transfer/read_pacing.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

constexpr uint32_t kBuffer = 256 * 1024;

TEST(NextReadSize, QuickReadsGrowToTheBuffer) {
    uint32_t ask = NextReadSize(8192, 0, 0, 10000, kBuffer);
    EXPECT_EQ(ask, 8192u);  // the first read takes only what has arrived
    int reads = 0;
    while (ask < kBuffer && reads < 100) {
        ask = NextReadSize(8192, ask, 300, 10000, kBuffer);
        ++reads;
    }
    EXPECT_EQ(ask, kBuffer);
    EXPECT_LE(reads, 6);  // doubling, not creeping
    EXPECT_EQ(NextReadSize(8192, kBuffer, 300, 10000, kBuffer), kBuffer);
}

TEST(NextReadSize, SlowReadsShrinkButNeverBelowWhatHasArrived) {
    EXPECT_EQ(NextReadSize(8192, kBuffer, 2000000, 10000, kBuffer), kBuffer / 2);
    EXPECT_EQ(NextReadSize(8192, 8192, 2000000, 10000, kBuffer), 8192u);
    EXPECT_EQ(NextReadSize(150, 300, 100000, 700, kBuffer), 150u);
}

TEST(NextReadSize, AShortTimeOutCountsFewerReadsAsQuick) {
    // 20 ms is quick against 10 s, not against 200 ms.
    EXPECT_EQ(NextReadSize(1000, 4000, 20000, 10000, kBuffer), 8000u);
    EXPECT_EQ(NextReadSize(1000, 4000, 20000, 200, kBuffer), 2000u);
}

TEST(NextReadSize, ASlowSteadyLinkSettlesBelowTheTimeOut) {
    // 3000 bytes a second with a 700 ms time-out: each read's time follows
    // from its size; no read may come near the time-out.
    const uint64_t bytesPerSecond = 3000;
    uint32_t ask = NextReadSize(150, 0, 0, 700, kBuffer);
    for (int i = 0; i < 50; ++i) {
        const uint64_t micros = uint64_t{ask} * 1000000 / bytesPerSecond;
        EXPECT_LT(micros, 700000u / 2) << "read " << i << " of " << ask << " bytes";
        ask = NextReadSize(150, ask, micros, 700, kBuffer);
    }
}

}  // namespace
}  // namespace pelmora
