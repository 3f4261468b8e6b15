#include "download/transfer/rate_floor.h"

#include <gtest/gtest.h>

#include <limits>

namespace pelmora {
namespace {

struct Row {
    RateFloor floor;
    uint64_t received;
    uint64_t tooSlowFromMs;
};

TEST(TooSlowFromMs, TheGraceThenTheTimeTheBytesEarn) {
    const Row rows[] = {
        {{1024, 10000}, 0, 10000},          // nothing arrived: the grace
        {{1024, 10000}, 10, 10000},         // a trickle: still the grace
        {{1024, 10000}, 20480, 20000},      // 20 KiB earn 20 s at 1 KiB/s
        {{2048, 10000}, 1 << 20, 512000},   // a 1 MiB cap at 2 KiB/s: 512 s at most
        {{1, 0}, 5, 5000},
    };
    for (const Row& row : rows)
        EXPECT_EQ(TooSlowFromMs(row.floor, row.received), row.tooSlowFromMs) << row.received;
}

TEST(TooSlowFromMs, NoFloorNeverEnds) {
    EXPECT_EQ(TooSlowFromMs({0, 10000}, 0), std::numeric_limits<uint64_t>::max());
    EXPECT_GT(TooSlowFromMs({1, 0}, std::numeric_limits<uint64_t>::max()), uint64_t{1} << 60);
}

}  // namespace
}  // namespace pelmora
