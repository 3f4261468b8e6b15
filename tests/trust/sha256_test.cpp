#include "trust/sha256.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

TEST(Sha256Hex, ParsesOnlyExactly64DigitsAndWritesThemBack) {
    const std::u16string upper =
        u"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD";
    ASSERT_TRUE(ParseSha256Hex(upper));
    EXPECT_EQ(Sha256Hex(*ParseSha256Hex(upper)),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_FALSE(ParseSha256Hex(upper.substr(1)));
    EXPECT_FALSE(ParseSha256Hex(upper + u"0"));
    EXPECT_FALSE(ParseSha256Hex(u" " + upper.substr(1)));
    EXPECT_FALSE(ParseSha256Hex(u"g" + upper.substr(1)));
}

}  // namespace
}  // namespace pelmora
