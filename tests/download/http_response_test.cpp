#include "download/http_response.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

TEST(HttpStatusResult, OnlyOkGivesAFile) {
    EXPECT_EQ(HttpStatusResult(200), 0);
    for (uint32_t status : {0u, 201u, 204u, 206u, 304u, 404u, 500u, 503u, 65736u}) {
        const int32_t result = HttpStatusResult(status);
        EXPECT_LT(result, 0) << status;  // a failed HRESULT: never 0, 1 or a success code
        EXPECT_NE(result, static_cast<int32_t>(0x80004004)) << status;  // never a cancel
    }
    // The status can be read back from the result.
    EXPECT_EQ(HttpStatusResult(404) & 0xFFFF, 404);
    EXPECT_EQ(HttpStatusResult(500) & 0xFFFF, 500);
}

TEST(ParseContentLength, ReadsDecimalLengths) {
    EXPECT_EQ(ParseContentLength(u"0"), 0u);
    EXPECT_EQ(ParseContentLength(u"268435456"), 268435456u);
    EXPECT_EQ(ParseContentLength(u" 42\t"), 42u);
    EXPECT_EQ(ParseContentLength(u"18446744073709551615"), UINT64_MAX);
}

TEST(ParseContentLength, RejectsWhatIsNotALength) {
    for (const char16_t* value : {u"", u"  ", u"-1", u"+5", u"12a", u"1 2", u"0x10", u"1e3",
                                  u"18446744073709551616", u"99999999999999999999"})
        EXPECT_FALSE(ParseContentLength(value).has_value());
}

TEST(BodyComplete, NeedsEveryAnnouncedByte) {
    EXPECT_TRUE(BodyComplete(std::nullopt, 0));
    EXPECT_TRUE(BodyComplete(std::nullopt, 12345));
    EXPECT_TRUE(BodyComplete(100u, 100));
    EXPECT_FALSE(BodyComplete(100u, 99));
    EXPECT_FALSE(BodyComplete(100u, 0));
}

}  // namespace
}  // namespace pelmora
