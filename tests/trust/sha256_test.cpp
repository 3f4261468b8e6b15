#include "trust/sha256.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

TEST(Sha256, KnownDigestsWhateverTheChunking) {
    EXPECT_EQ(Sha256Hex(Sha256Of("")),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex(Sha256Of("abc")),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string two_blocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(Sha256Hex(Sha256Of(two_blocks)),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    const std::string million(1000000, 'a');
    // Odd chunk sizes cross the 64-byte blocks at every offset.
    Sha256 hash;
    for (size_t at = 0, step = 1; at < million.size(); at += step, step = step % 131 + 1)
        hash.Update(million.data() + at, std::min(step, million.size() - at));
    EXPECT_EQ(Sha256Hex(hash.Finish()),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, HexParsesOnlyExactly64Digits) {
    const std::u16string upper =
        u"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD";
    ASSERT_TRUE(ParseSha256Hex(upper));
    EXPECT_EQ(*ParseSha256Hex(upper), Sha256Of("abc"));
    EXPECT_FALSE(ParseSha256Hex(upper.substr(1)));
    EXPECT_FALSE(ParseSha256Hex(upper + u"0"));
    EXPECT_FALSE(ParseSha256Hex(u" " + upper.substr(1)));
    EXPECT_FALSE(ParseSha256Hex(u"g" + upper.substr(1)));
}

}  // namespace
}  // namespace pelmora
