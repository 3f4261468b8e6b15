#include "trust/sha256_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace pelmora {
namespace {

std::string Hex(const std::optional<Sha256Digest>& digest) {
    return digest ? Sha256Hex(*digest) : "none";
}

TEST(Sha256Stream, KnownDigestsWhateverTheChunking) {
    EXPECT_EQ(Hex(Sha256Of("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Hex(Sha256Of("abc")),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string million(1000000, 'a');
    Sha256Stream hash;
    for (size_t at = 0, step = 1; at < million.size(); at += step, step = step % 131 + 1)
        ASSERT_TRUE(hash.Update(million.data() + at, std::min(step, million.size() - at)));
    EXPECT_EQ(Hex(hash.Finish()), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    EXPECT_EQ(Hex(hash.Finish()), "none");  // spent
}

}  // namespace
}  // namespace pelmora
